// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/JournalFields.h"

#include <cstdint>

#include "runtime/Text.h"

using ordered_json = nlohmann::ordered_json;

void AppendJsonString(std::string& Out, std::string_view Text)
{
    Out += '"';
    for (char ch : Text) {
        unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': Out += "\\\""; break;
        case '\\': Out += "\\\\"; break;
        case '\n': Out += "\\n"; break;
        case '\r': Out += "\\r"; break;
        case '\t': Out += "\\t"; break;
        default:
            if (c < 0x20) {
                Out += "\\u00";
                AppendHexByte(Out, c);
            } else {
                Out += ch;
            }
        }
    }
    Out += '"';
}

void AppendJournalBytes(std::string& Out, std::string_view Bytes)
{
    if (IsValidUtf8(Bytes)) {
        AppendJsonString(Out, Bytes);
        return;
    }
    Out += "{\"hex\":\"";
    for (unsigned char c : Bytes)
        AppendHexByte(Out, c);
    Out += "\"}";
}

void AppendJournalIdentity(std::string& Out, const TFileIdentity& f)
{
    Out += "{\"dev\":" + std::to_string(f.Device) + ",\"ino\":" + std::to_string(f.Inode) +
           ",\"size\":" + std::to_string(f.Size) + ",\"mtime\":" + std::to_string(f.ModifiedNs) + '}';
}

bool DecodeJournalBytes(const ordered_json& Value, std::string& Bytes)
{
    if (Value.is_string()) {
        Bytes = Value.get<std::string>();
        return true;
    }
    if (!Value.is_object() || Value.size() != 1 || !Value.contains("hex") || !Value["hex"].is_string())
        return false;
    const std::string& hex = Value["hex"].get_ref<const std::string&>();
    if (hex.size() % 2 != 0)
        return false;
    Bytes.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int byte = HexByte(hex[i], hex[i + 1]);
        if (byte < 0)
            return false;
        Bytes += static_cast<char>(byte);
    }
    return true;
}

bool DecodeJournalIdentity(const ordered_json& Value, TFileIdentity& Identity)
{
    if (!Value.is_object() || Value.size() != 4)
        return false;
    auto unsignedField = [&](const char* key, uint64_t& out) {
        auto it = Value.find(key);
        if (it == Value.end() || !it->is_number_unsigned())
            return false;
        out = it->get<uint64_t>();
        return true;
    };
    auto signedField = [&](const char* key, int64_t& out) {
        auto it = Value.find(key);
        if (it == Value.end() || !it->is_number_integer())
            return false;
        if (it->is_number_unsigned() && it->get<uint64_t>() > uint64_t(INT64_MAX))
            return false;
        out = it->get<int64_t>();
        return true;
    };
    return unsignedField("dev", Identity.Device) && unsignedField("ino", Identity.Inode) &&
           signedField("size", Identity.Size) && signedField("mtime", Identity.ModifiedNs);
}

bool GetJournalText(const ordered_json& Object, const char* Key, std::string& Out, bool Required)
{
    auto it = Object.find(Key);
    if (it == Object.end())
        return !Required;
    if (!it->is_string())
        return false;
    Out = it->get<std::string>();
    return true;
}
