#include "WavFile.h"

#include "CommandLine.h"

#include <fstream>

namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutTag(std::vector<std::uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(tag[i]));
}

} // namespace

std::vector<std::uint8_t> WavFileBytes(const std::vector<std::int16_t>& samples,
                                       std::uint32_t samplingRate) {
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::vector<std::uint8_t> out;
    out.reserve(44 + dataBytes);
    PutTag(out, "RIFF");
    Put32(out, 36 + dataBytes);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    Put32(out, 16);
    Put16(out, 1); // PCM
    Put16(out, 1); // mono
    Put32(out, samplingRate);
    Put32(out, samplingRate * 2);
    Put16(out, 2);
    Put16(out, 16);
    PutTag(out, "data");
    Put32(out, dataBytes);
    for (std::int16_t sample : samples)
        Put16(out, static_cast<std::uint16_t>(sample));
    return out;
}

bool WriteWavFile(const std::string& path, const std::vector<std::int16_t>& samples,
                  std::uint32_t samplingRate) {
    const std::vector<std::uint8_t> bytes = WavFileBytes(samples, samplingRate);
    std::ofstream file(PathFromUtf8(path), std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}
