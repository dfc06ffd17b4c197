// A small JSON writer for `kxpack inspect --json`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CJsonWriter {
public:
    CJsonWriter& BeginObject(const char* key = nullptr);
    CJsonWriter& EndObject();
    CJsonWriter& BeginArray(const char* key = nullptr);
    CJsonWriter& EndArray();
    CJsonWriter& String(const char* key, const std::string& value);
    CJsonWriter& Number(const char* key, int64_t value);
    CJsonWriter& Bool(const char* key, bool value);
    CJsonWriter& Null(const char* key);
    const std::string& Text() const { return m_text; }
    // The text so far, handed on: the writer goes on behind it.
    std::string Take()
    {
        std::string text;
        text.swap(m_text);
        return text;
    }

private:
    void Key(const char* key);
    static std::string Quote(const std::string& text);

    std::string m_text;
    std::vector<bool> m_first; // per open level: nothing written yet
};
