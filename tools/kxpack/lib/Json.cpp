#include "Json.h"

#include <cstdio>

void CJsonWriter::Key(const char* key)
{
    if (!m_first.empty()) {
        if (!m_first.back())
            m_text += ",";
        m_first.back() = false;
        m_text += "\n" + std::string(m_first.size() * 2, ' ');
    }
    if (key)
        m_text += Quote(key) + ": ";
}

std::string CJsonWriter::Quote(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char ch : text) {
        switch (ch) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (ch < 0x20) {
                char escaped[8];
                snprintf(escaped, sizeof(escaped), "\\u%04x", ch);
                out += escaped;
            } else {
                out.push_back(static_cast<char>(ch));
            }
        }
    }
    return out + "\"";
}

CJsonWriter& CJsonWriter::BeginObject(const char* key)
{
    Key(key);
    m_text += "{";
    m_first.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::EndObject()
{
    bool empty = m_first.back();
    m_first.pop_back();
    if (!empty)
        m_text += "\n" + std::string(m_first.size() * 2, ' ');
    m_text += "}";
    if (m_first.empty())
        m_text += "\n";
    return *this;
}

CJsonWriter& CJsonWriter::BeginArray(const char* key)
{
    Key(key);
    m_text += "[";
    m_first.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::EndArray()
{
    bool empty = m_first.back();
    m_first.pop_back();
    if (!empty)
        m_text += "\n" + std::string(m_first.size() * 2, ' ');
    m_text += "]";
    return *this;
}

CJsonWriter& CJsonWriter::String(const char* key, const std::string& value)
{
    Key(key);
    m_text += Quote(value);
    return *this;
}

CJsonWriter& CJsonWriter::Number(const char* key, int64_t value)
{
    Key(key);
    m_text += std::to_string(value);
    return *this;
}

CJsonWriter& CJsonWriter::Bool(const char* key, bool value)
{
    Key(key);
    m_text += value ? "true" : "false";
    return *this;
}

CJsonWriter& CJsonWriter::Null(const char* key)
{
    Key(key);
    m_text += "null";
    return *this;
}
