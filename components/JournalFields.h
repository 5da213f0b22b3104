// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fields both journals write and read back: texts, names and paths
// (as {"hex":"..."} when not valid UTF-8) and file identities.
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "runtime/FileIO.h"

// Text as a JSON string: quotes, backslashes and control characters escaped.
void AppendJsonString(std::string& Out, std::string_view Text);
// A name or path as a JSON string, or {"hex":"..."} when it is not valid UTF-8.
void AppendJournalBytes(std::string& Out, std::string_view Bytes);
// {"dev":..,"ino":..,"size":..,"mtime":..}
void AppendJournalIdentity(std::string& Out, const TFileIdentity& Identity);

// The reverse of AppendJournalBytes: any bytes (the caller checks them).
bool DecodeJournalBytes(const nlohmann::ordered_json& Value, std::string& Bytes);
// {"dev":..,"ino":..,"size":..,"mtime":..}, all integers (dev and ino not negative).
bool DecodeJournalIdentity(const nlohmann::ordered_json& Value, TFileIdentity& Identity);
// Object[Key] as a string into Out; a missing key is fine unless Required.
bool GetJournalText(const nlohmann::ordered_json& Object, const char* Key, std::string& Out, bool Required = true);
