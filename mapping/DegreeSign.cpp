// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapping/DegreeSign.h"

#include <cctype>
#include <cerrno>
#include <clocale>
#include <vector>

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

std::string DegreeSign;
std::string DegreeSignCharset;

namespace {

// Upper case with '-' and '_' removed: "Shift_JIS", "shift-jis", "SJIS"...
std::string Normalise(const std::string& name)
{
    std::string n;
    for (unsigned char c : name)
        if (c != '-' && c != '_')
            n += static_cast<char>(std::toupper(c));
    return n;
}

std::string Latin1ToUtf8(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace

void DegreeSignFor(const std::string& localeCharset, std::string& bytes, std::string& charset)
{
    // The code pages of the table: 932 Japanese, 936 Simplified Chinese,
    // 950 Traditional Chinese; every other one uses the 1252 degree sign.
    const std::string n = Normalise(localeCharset);
    if (n == "SHIFTJIS" || n == "SJIS" || n == "CP932" || n == "WINDOWS31J" || n == "MSKANJI") {
        bytes = "\x81\x8B";
        charset = "SHIFT_JIS";
    } else if (n == "GBK" || n == "GB2312" || n == "GB18030" || n == "CP936" || n == "EUCCN") {
        bytes = "\xA1\xE3";
        charset = "GBK";
    } else if (n == "BIG5" || n == "BIG5HKSCS" || n == "CP950") {
        bytes = "\xA2\x58";
        charset = "BIG5";
    } else {
        bytes = "\xB0";
        charset = "CP1252";
    }
}

std::string DegreeTextToUtf8(const std::string& bytes)
{
    const std::string charset = DegreeSignCharset.empty() ? std::string("CP1252") : DegreeSignCharset;
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return Latin1ToUtf8(bytes);
    std::string in = bytes;
    std::vector<char> out(in.size() * 4 + 16);
    char* inp = in.data();
    size_t inLeft = in.size();
    char* outp = out.data();
    size_t outLeft = out.size();
    size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1) || inLeft != 0)
        return Latin1ToUtf8(bytes);
    return std::string(out.data(), out.size() - outLeft);
}

void InitializeUtils()
{
    // The locale the user set, read without setlocale so that the process's
    // own locale (and everything that formats numbers) stays "C".
    std::string codeset = "ANSI_X3.4-1968";
    locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (loc != static_cast<locale_t>(nullptr)) {
        const char* cs = nl_langinfo_l(CODESET, loc);
        if (cs != nullptr)
            codeset = cs;
        freelocale(loc);
    }
    DegreeSignFor(codeset, DegreeSign, DegreeSignCharset);
}

void FinalizeUtils()
{
    DegreeSign.clear();
    DegreeSignCharset.clear();
}
