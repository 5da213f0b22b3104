// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "runtime/ByteOrder.h"

namespace {

TEST(ByteOrder, FieldsReadAndWriteInTheirOwnOrderWhateverTheHost)
{
    const uint8_t bytes[4] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(GetLE16(bytes), 0x3412u);
    EXPECT_EQ(GetBE16(bytes), 0x1234u);
    EXPECT_EQ(GetLE32(bytes), 0x78563412u);
    EXPECT_EQ(GetBE32(bytes), 0x12345678u);
    const uint8_t high[4] = {0xFF, 0xFE, 0xFD, 0x80}; // no sign extension anywhere
    EXPECT_EQ(GetLE16(high), 0xFEFFu);
    EXPECT_EQ(GetBE16(high + 2), 0xFD80u);
    EXPECT_EQ(GetLE32(high), 0x80FDFEFFu);
    EXPECT_EQ(GetBE32(high), 0xFFFEFD80u);

    uint8_t out[4] = {};
    PutLE32(out, 0x80FDFEFFu);
    EXPECT_EQ(GetLE32(out), 0x80FDFEFFu);
    PutBE32(out, 0x12345678u);
    EXPECT_EQ(GetLE32(out), 0x78563412u);
    PutLE16(out, 0xABCD);
    EXPECT_EQ(GetBE16(out), 0xCDABu);
    PutBE16(out + 2, 0xABCD);
    EXPECT_EQ(GetLE16(out + 2), 0xCDABu);
    EXPECT_EQ(ReverseBytes32(0x11223344u), 0x44332211u);
}

} // namespace
