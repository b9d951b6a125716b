// WAV files of 16-bit mono PCM, written as the audio comes, so that no second copy of it is
// held. A RIFF file cannot hold more than 4 GiB: the writer takes audio up to that limit and
// refuses the rest, and the file it leaves is valid and holds what came before.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

class TWavWriter {
public:
    // The most audio a RIFF file holds: its 32-bit size counts 36 bytes of header too.
    static constexpr std::uint64_t MaximumDataBytes = 0xFFFFFFFFull - 36 - 1;

    // Writes the header to `out`, with sizes that Finish sets.
    TWavWriter(std::ostream& out, std::uint32_t samplingRate);
    TWavWriter(const TWavWriter&) = delete;
    TWavWriter& operator=(const TWavWriter&) = delete;

    // Appends samples; false, and nothing appended, when they would pass the RIFF limit.
    bool Append(const std::int16_t* samples, std::size_t count);
    // Sets the sizes in the header; false when the stream failed anywhere.
    bool Finish();

    std::uint64_t DataBytes() const { return FDataBytes; }

private:
    std::ostream& FOut;
    std::uint64_t FDataBytes = 0;
};

// The bytes of a whole file.
std::vector<std::uint8_t> WavFileBytes(const std::vector<std::int16_t>& samples,
                                       std::uint32_t samplingRate);

// False when the file cannot be written.
bool WriteWavFile(const std::string& path, const std::vector<std::int16_t>& samples,
                  std::uint32_t samplingRate);
