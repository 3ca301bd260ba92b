#include "JsonString.h"

#include <cstdio>

namespace vornak {

namespace {

// Python's "surrogateescape": a byte that starts no valid UTF-8 sequence stands for itself as
// the lone surrogate U+DC00 + byte (only bytes from 0x80 on can be such).
constexpr unsigned kSurrogateEscapeBase = 0xDC00;
constexpr unsigned char kFirstControl = 0x20;  // below it, characters must be escaped

// The well-formed UTF-8 sequences by their lead byte, as Unicode tabulates them: the byte after
// the lead has a narrower range where the full one would give overlong forms, surrogates or
// code points past U+10FFFF. Every later byte is a plain continuation byte.
struct Utf8Lead {
    unsigned char first;
    unsigned char last;
    std::size_t length;
    unsigned char low;  // the range of the byte after the lead
    unsigned char high;
};
constexpr unsigned char kContinuationLow = 0x80;
constexpr unsigned char kContinuationHigh = 0xBF;
constexpr Utf8Lead kUtf8Leads[] = {
    {0xC2, 0xDF, 2, kContinuationLow, kContinuationHigh},  // 0xC0, 0xC1: only overlong forms
    {0xE0, 0xE0, 3, 0xA0, kContinuationHigh},              // no overlong forms
    {0xE1, 0xEC, 3, kContinuationLow, kContinuationHigh},  // plain three-byte forms
    {0xED, 0xED, 3, kContinuationLow, 0x9F},               // no surrogates
    {0xEE, 0xEF, 3, kContinuationLow, kContinuationHigh},  // plain three-byte forms
    {0xF0, 0xF0, 4, 0x90, kContinuationHigh},              // no overlong forms
    {0xF1, 0xF3, 4, kContinuationLow, kContinuationHigh},  // plain four-byte forms
    {0xF4, 0xF4, 4, kContinuationLow, 0x8F},               // nothing past U+10FFFF
};

// The length of the well-formed UTF-8 sequence at `at`, or 0 when none starts there.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (byte(at) < kContinuationLow) {
        return 1;  // ASCII
    }
    for (const Utf8Lead& lead : kUtf8Leads) {
        if (byte(at) < lead.first || byte(at) > lead.last) {
            continue;
        }
        if (at + lead.length > text.size() || byte(at + 1) < lead.low || byte(at + 1) > lead.high) {
            return 0;
        }
        for (std::size_t i = at + 2; i < at + lead.length; ++i) {
            if (byte(i) < kContinuationLow || byte(i) > kContinuationHigh) {
                return 0;
            }
        }
        return lead.length;
    }
    return 0;
}

void AppendEscape(std::string& literal, unsigned codePoint) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", codePoint);
    literal += escape;
}

}  // namespace

std::string JsonString(const std::string& bytes) {
    std::string literal = "\"";
    for (std::size_t at = 0; at < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        const std::size_t length = Utf8SequenceLength(bytes, at);
        if (length == 0) {
            AppendEscape(literal, kSurrogateEscapeBase + byte);
            ++at;
            continue;
        }
        at += length;
        if (length > 1 || byte >= kFirstControl) {
            if (byte == '"' || byte == '\\') {
                literal += '\\';
            }
            literal.append(bytes, at - length, length);
            continue;
        }
        switch (byte) {
            case '\b':
                literal += "\\b";
                break;
            case '\t':
                literal += "\\t";
                break;
            case '\n':
                literal += "\\n";
                break;
            case '\f':
                literal += "\\f";
                break;
            case '\r':
                literal += "\\r";
                break;
            default:
                AppendEscape(literal, byte);
        }
    }
    return literal + '"';
}

}  // namespace vornak
