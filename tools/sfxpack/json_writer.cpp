#include "tools/sfxpack/json_writer.h"

#include <cstdio>

namespace sfxpack {
namespace {

// Length of the UTF-8 sequence at s[i], or 0 when none starts there (overlong forms,
// surrogates and values past U+10FFFF count as none).
size_t Utf8SequenceLength(const std::string& s, size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return 1;
    size_t n = 0;
    uint32_t value = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        value = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        value = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        const unsigned char t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) return 0;
        value = (value << 6) | (t & 0x3F);
    }
    const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[n] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return n;
}

bool IsUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const size_t n = Utf8SequenceLength(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

}  // namespace

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (empty_.empty()) return;
    if (!empty_.back()) out_ << ",";
    empty_.back() = false;
    out_ << "\n" << std::string(2 * empty_.size(), ' ');
}

void JsonWriter::BeginObject() {
    BeforeValue();
    out_ << "{";
    empty_.push_back(true);
}

void JsonWriter::BeginArray() {
    BeforeValue();
    out_ << "[";
    empty_.push_back(true);
}

void JsonWriter::Close(char bracket) {
    const bool wasEmpty = empty_.back();
    empty_.pop_back();
    if (!wasEmpty) out_ << "\n" << std::string(2 * empty_.size(), ' ');
    out_ << bracket;
}

void JsonWriter::EndObject() { Close('}'); }
void JsonWriter::EndArray() { Close(']'); }

void JsonWriter::Key(const std::string& key) {
    BeforeValue();
    WriteEscaped(key, true);
    out_ << ": ";
    afterKey_ = true;
}

void JsonWriter::WriteEscaped(const std::string& s, bool utf8) {
    out_ << '"';
    for (const char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out_ << '\\' << ch;
        } else if (c == '\n') {
            out_ << "\\n";
        } else if (c == '\t') {
            out_ << "\\t";
        } else if (c == '\r') {
            out_ << "\\r";
        } else if (c >= 0x20 && c < 0x7F) {
            out_ << ch;
        } else if (c >= 0x80 && utf8) {
            out_ << ch;  // part of a sequence already checked
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out_ << buf;
        }
    }
    out_ << '"';
}

void JsonWriter::String(const std::string& text) {
    BeforeValue();
    WriteEscaped(text, IsUtf8(text));
}

void JsonWriter::Bytes(const std::string& bytes) {
    BeforeValue();
    WriteEscaped(bytes, false);
}

void JsonWriter::Number(uint64_t value) {
    BeforeValue();
    out_ << value;
}

void JsonWriter::Bool(bool value) {
    BeforeValue();
    out_ << (value ? "true" : "false");
}

void JsonWriter::Null() {
    BeforeValue();
    out_ << "null";
}

void JsonWriter::Finish() { out_ << "\n"; }

}  // namespace sfxpack
