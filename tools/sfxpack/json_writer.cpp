#include "tools/sfxpack/json_writer.h"

#include <cstdio>

#include "tools/sfxpack/base/utf8.h"

namespace sfxpack {

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
    WriteEscaped(text, sfx::IsValidUtf8(text));
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
