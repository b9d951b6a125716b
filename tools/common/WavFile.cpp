#include "WavFile.h"

#include "CommandLine.h"

#include <fstream>
#include <sstream>

namespace {

void Put16(std::ostream& out, std::uint32_t value) {
    const char bytes[2] = {static_cast<char>(value), static_cast<char>(value >> 8)};
    out.write(bytes, 2);
}

void Put32(std::ostream& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

constexpr std::streamoff RiffSizeAt = 4;
constexpr std::streamoff DataSizeAt = 40;

} // namespace

TWavWriter::TWavWriter(std::ostream& out, std::uint32_t samplingRate) : FOut(out) {
    FOut.write("RIFF", 4);
    Put32(FOut, 36);
    FOut.write("WAVEfmt ", 8);
    Put32(FOut, 16);
    Put16(FOut, 1); // PCM
    Put16(FOut, 1); // mono
    Put32(FOut, samplingRate);
    Put32(FOut, samplingRate * 2);
    Put16(FOut, 2);
    Put16(FOut, 16);
    FOut.write("data", 4);
    Put32(FOut, 0);
}

bool TWavWriter::Append(const std::int16_t* samples, std::size_t count) {
    const std::uint64_t bytes = std::uint64_t{count} * 2;
    if (FDataBytes + bytes > MaximumDataBytes)
        return false;
    // Little-endian samples, as the file has them; a big-endian machine would swap here.
    FOut.write(reinterpret_cast<const char*>(samples), static_cast<std::streamsize>(bytes));
    FDataBytes += bytes;
    return true;
}

bool TWavWriter::Finish() {
    const auto data = static_cast<std::uint32_t>(FDataBytes);
    FOut.seekp(RiffSizeAt);
    Put32(FOut, 36 + data);
    FOut.seekp(DataSizeAt);
    Put32(FOut, data);
    FOut.seekp(0, std::ios::end);
    FOut.flush();
    return static_cast<bool>(FOut);
}

std::vector<std::uint8_t> WavFileBytes(const std::vector<std::int16_t>& samples,
                                       std::uint32_t samplingRate) {
    std::ostringstream out(std::ios::binary);
    TWavWriter writer(out, samplingRate);
    writer.Append(samples.data(), samples.size());
    writer.Finish();
    const std::string bytes = out.str();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

bool WriteWavFile(const std::string& path, const std::vector<std::int16_t>& samples,
                  std::uint32_t samplingRate) {
    std::ofstream file(PathFromUtf8(path), std::ios::binary);
    TWavWriter writer(file, samplingRate);
    return writer.Append(samples.data(), samples.size()) && writer.Finish();
}
