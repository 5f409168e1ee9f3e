// Writes one JSON document, indented two spaces a level, for --json output.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace sfxpack {

class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : out_(out) {}
    ~JsonWriter() = default;
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // Inside an object, each value follows its key.
    void Key(const std::string& key);

    // Text, passed on as UTF-8 when it is valid UTF-8, else as Bytes.
    void String(const std::string& text);
    // Each byte as the character of the same number (U+0000 to U+00FF): entry names are
    // bytes in the code page of the machine that unpacks them, not UTF-8.
    void Bytes(const std::string& bytes);
    void Number(uint64_t value);
    void Bool(bool value);
    void Null();

    // Ends the document with a newline.
    void Finish();

private:
    void BeforeValue();
    void Close(char bracket);
    void WriteEscaped(const std::string& s, bool utf8);

    std::ostream& out_;
    std::vector<bool> empty_;  // per open object or array: nothing written in it yet
    bool afterKey_ = false;
};

}  // namespace sfxpack
