// The events of one Speak as people read them: a timeline in text or as JSON lines, and a
// drawing of the waveform with the word boundaries, bookmarks and visemes on it (SVG).
#pragma once

#include "SpeakSite.h"

#include <cstdint>
#include <string>
#include <vector>

std::string TimelineText(const std::vector<TSpokenEvent>& events, const std::u16string& source,
                         std::uint32_t samplingRate);
std::string TimelineJson(const std::vector<TSpokenEvent>& events, const std::u16string& source,
                         std::uint32_t samplingRate);
std::string TimelineSvg(const std::vector<std::int16_t>& audio,
                        const std::vector<TSpokenEvent>& events, const std::u16string& source,
                        std::uint32_t samplingRate);
