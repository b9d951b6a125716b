#include "Timeline.h"

#include "TextCodec.h"

#include <algorithm>
#include <cstdio>

namespace {

double Milliseconds(ULONGLONG audioOffset, std::uint32_t samplingRate) {
    return samplingRate ? audioOffset / 2.0 * 1000.0 / samplingRate : 0.0;
}

// The words of the input that a word boundary marks.
std::string MarkedWords(const TSpokenEvent& e, const std::u16string& source) {
    const auto position = static_cast<std::size_t>(e.LParam);
    if (position >= source.size())
        return {};
    return Utf8FromUtf16(source.substr(position, static_cast<std::size_t>(e.WParam)));
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.push_back(c);
        }
    }
    return out + "\"";
}

// Text for an XML document: markup characters as entities, and the control characters that
// XML cannot hold (all below U+0020 but tab, line feed and carriage return) as U+FFFD.
std::string XmlText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            out += "\xEF\xBF\xBD";
            continue;
        }
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::uint32_t VisemeDuration(const TSpokenEvent& e) {
    return static_cast<std::uint32_t>(e.WParam >> 16 & 0xFFFF);
}

// A number with a fixed count of decimals.
std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// The time column of the text timeline: right-aligned whole milliseconds.
std::string TimeColumn(double milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%8.0f ms  ", milliseconds);
    return text;
}

} // namespace

std::string TimelineText(const std::vector<TSpokenEvent>& events, const std::u16string& source,
                         std::uint32_t samplingRate) {
    std::string out;
    for (const TSpokenEvent& e : events) {
        const double ms = Milliseconds(e.AudioOffset, samplingRate);
        switch (e.Id) {
        case SPEI_WORD_BOUNDARY:
            out += TimeColumn(ms) + "word      \"" + MarkedWords(e, source) + "\" (at " +
                   std::to_string(e.LParam) + ", " + std::to_string(e.WParam) + " long)\n";
            break;
        case SPEI_TTS_BOOKMARK:
            out += TimeColumn(ms) + "bookmark  \"" + Utf8FromUtf16(e.Name) + "\" (" +
                   std::to_string(static_cast<std::int64_t>(e.WParam)) + ")\n";
            break;
        case SPEI_VISEME:
            out += TimeColumn(ms) + "viseme    " + std::to_string(e.LParam & 0xFFFF) + " (" +
                   std::to_string(VisemeDuration(e)) + " ms)\n";
            break;
        default:
            break;
        }
    }
    return out;
}

std::string TimelineJson(const std::vector<TSpokenEvent>& events, const std::u16string& source,
                         std::uint32_t samplingRate) {
    std::string out;
    for (const TSpokenEvent& e : events) {
        const std::string ms = Fixed(Milliseconds(e.AudioOffset, samplingRate), 1);
        switch (e.Id) {
        case SPEI_WORD_BOUNDARY:
            out += "{\"ms\":" + ms +
                   ",\"event\":\"word\",\"position\":" + std::to_string(e.LParam) +
                   ",\"length\":" + std::to_string(e.WParam) +
                   ",\"text\":" + JsonString(MarkedWords(e, source)) + "}\n";
            break;
        case SPEI_TTS_BOOKMARK:
            out += "{\"ms\":" + ms +
                   ",\"event\":\"bookmark\",\"name\":" + JsonString(Utf8FromUtf16(e.Name)) +
                   ",\"number\":" + std::to_string(static_cast<std::int64_t>(e.WParam)) + "}\n";
            break;
        case SPEI_VISEME:
            out += "{\"ms\":" + ms +
                   ",\"event\":\"viseme\",\"viseme\":" + std::to_string(e.LParam & 0xFFFF) +
                   ",\"duration_ms\":" + std::to_string(VisemeDuration(e)) + "}\n";
            break;
        default:
            break;
        }
    }
    return out;
}

std::string TimelineSvg(const std::vector<std::int16_t>& audio,
                        const std::vector<TSpokenEvent>& events, const std::u16string& source,
                        std::uint32_t samplingRate) {
    const int width = 1600, height = 360, middle = 200, scale = 120;
    const std::size_t samples = std::max<std::size_t>(audio.size(), 1);
    auto x = [&](double sample) { return sample * (width - 20) / samples + 10; };
    std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
                      "\" height=\"" + std::to_string(height) +
                      "\" font-family=\"sans-serif\" font-size=\"11\">\n"
                      "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    // The waveform: the lowest and highest sample of every column.
    out += "<path fill=\"none\" stroke=\"#335\" stroke-width=\"1\" d=\"";
    const int columns = width - 20;
    for (int column = 0; column < columns; ++column) {
        const std::size_t first = audio.size() * column / columns;
        const std::size_t last = std::max(first + 1, audio.size() * (column + 1) / columns);
        int low = 0, high = 0;
        for (std::size_t i = first; i < last && i < audio.size(); ++i) {
            low = std::min<int>(low, audio[i]);
            high = std::max<int>(high, audio[i]);
        }
        out += "M" + Fixed(column + 10.0, 1) + " " + std::to_string(middle - high * scale / 32768) +
               " V" + std::to_string(middle - low * scale / 32768) + " ";
    }
    out += "\"/>\n";
    for (const TSpokenEvent& e : events) {
        const double at = x(e.AudioOffset / 2.0);
        const std::string position = Fixed(at, 1);
        if (e.Id == SPEI_WORD_BOUNDARY) {
            out += "<line x1=\"" + position + "\" y1=\"40\" x2=\"" + position +
                   "\" y2=\"330\" stroke=\"#2a7\"/>\n<text x=\"" + position +
                   "\" y=\"36\" fill=\"#2a7\">" + XmlText(MarkedWords(e, source)) + "</text>\n";
        } else if (e.Id == SPEI_TTS_BOOKMARK) {
            out += "<line x1=\"" + position + "\" y1=\"20\" x2=\"" + position +
                   "\" y2=\"340\" stroke=\"#d33\" stroke-dasharray=\"4 3\"/>\n<text x=\"" +
                   position + "\" y=\"16\" fill=\"#d33\">" + XmlText(Utf8FromUtf16(e.Name)) +
                   "</text>\n";
        } else if (e.Id == SPEI_VISEME) {
            out += "<line x1=\"" + position + "\" y1=\"332\" x2=\"" + position +
                   "\" y2=\"342\" stroke=\"#999\"/>\n<text x=\"" + position +
                   "\" y=\"354\" fill=\"#777\" font-size=\"8\">" +
                   std::to_string(e.LParam & 0xFFFF) + "</text>\n";
        }
    }
    const double seconds = samplingRate ? audio.size() / static_cast<double>(samplingRate) : 0.0;
    out += "<text x=\"" + std::to_string(width - 10) +
           "\" y=\"16\" text-anchor=\"end\" fill=\"#555\">" + Fixed(seconds, 2) +
           " s; green: word boundaries, red: bookmarks, grey: visemes</text>\n" + "</svg>\n";
    return out;
}
