// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the picture fuzz targets share: the input bytes as a memory stream,
// read from its start by a picture loader, for which an Exception is the
// documented way to refuse them.
#include <cstddef>
#include <cstdint>

#include "runtime/Exceptions.h"
#include "runtime/Streams.h"

// Calls load(stream) with the bytes in a memory stream at position 0; false
// when it raised an Exception.
template <typename Load>
bool LoadPictureBytes(const uint8_t* data, size_t size, Load&& load)
{
    TMemoryStream stream;
    stream.WriteBuffer(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    try {
        load(stream);
    } catch (const Exception&) {
        return false;
    }
    return true;
}
