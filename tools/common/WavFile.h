// WAV files of 16-bit mono PCM: the bytes of a file, and writing one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::vector<std::uint8_t> WavFileBytes(const std::vector<std::int16_t>& samples,
                                       std::uint32_t samplingRate);

// False when the file cannot be written.
bool WriteWavFile(const std::string& path, const std::vector<std::int16_t>& samples,
                  std::uint32_t samplingRate);
