// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/JournalLines.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t Slice = 64 * 1024;

} // namespace

TJournalBytes::TJournalBytes(int Fd) : fd_(Fd) {}

TJournalBytes::TJournalBytes(int Fd, int64_t Size) : fd_(Fd), size_(Size) {}

TJournalBytes::TJournalBytes(std::string_view Text) : text_(Text) {}

ssize_t TJournalBytes::Read(char* To, size_t Count, uint64_t Offset) const
{
    if (fd_ < 0) {
        if (Offset >= text_.size())
            return 0;
        const size_t n = std::min<size_t>(Count, text_.size() - Offset);
        std::memcpy(To, text_.data() + Offset, n);
        return static_cast<ssize_t>(n);
    }
    for (;;) {
        const ssize_t n = ::pread(fd_, To, Count, static_cast<off_t>(Offset));
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

int64_t TJournalBytes::Size() const
{
    if (fd_ < 0)
        return static_cast<int64_t>(text_.size());
    if (size_ >= 0)
        return size_;
    struct stat info{};
    if (::fstat(fd_, &info) != 0)
        return -1;
    return info.st_size;
}

bool IsBlankJournalLine(std::string_view Line)
{
    return std::all_of(Line.begin(), Line.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

// ---- forward ----------------------------------------------------------------------
TJournalLinesForward::TJournalLinesForward(TJournalBytes Bytes, uint64_t From, size_t MaxLine)
    : bytes_(Bytes), maxLine_(std::max<size_t>(MaxLine, 1)), bufferAt_(From), consumed_(From)
{
}

// Reads the next slice after what buffer_ holds; false at the end or on an error.
bool TJournalLinesForward::Fill()
{
    if (end_)
        return false;
    if (start_ > 0) {
        buffer_.erase(0, start_);
        bufferAt_ += start_;
        scanned_ -= start_;
        start_ = 0;
    }
    const size_t had = buffer_.size();
    buffer_.resize(had + Slice);
    const ssize_t n = bytes_.Read(buffer_.data() + had, Slice, bufferAt_ + had);
    if (n <= 0) {
        buffer_.resize(had);
        if (n < 0)
            error_ = errno;
        end_ = true;
        return false;
    }
    buffer_.resize(had + static_cast<size_t>(n));
    return true;
}

bool TJournalLinesForward::Next(TJournalLine& Line, bool CompleteOnly)
{
    if (error_)
        return false;
    bool tooLong = false;
    uint64_t lineAt = bufferAt_ + start_;
    for (;;) {
        const size_t at = buffer_.find('\n', scanned_);
        if (at != std::string::npos) {
            Line.Offset = lineAt;
            Line.TooLong = tooLong || at - start_ > maxLine_;
            Line.Text = Line.TooLong ? std::string_view() : std::string_view(buffer_).substr(start_, at - start_);
            Line.Number = ++number_;
            start_ = scanned_ = at + 1;
            consumed_ = bufferAt_ + start_;
            return true;
        }
        scanned_ = buffer_.size();
        if (scanned_ - start_ > maxLine_) {
            // Too long to keep: drop what was read of it, find its end.
            tooLong = true;
            bufferAt_ += buffer_.size();
            buffer_.clear();
            start_ = scanned_ = 0;
        }
        if (Fill())
            continue;
        if (error_ || CompleteOnly || (buffer_.size() == start_ && !tooLong))
            return false;
        // The last line, without its line break.
        Line.Offset = lineAt;
        Line.TooLong = tooLong;
        Line.Text = tooLong ? std::string_view() : std::string_view(buffer_).substr(start_);
        Line.Number = ++number_;
        start_ = scanned_ = buffer_.size();
        consumed_ = bufferAt_ + start_;
        return true;
    }
}

void ForEachJournalLine(std::string_view Text, const std::function<void(const TJournalLine&)>& OnLine,
                        size_t MaxLine)
{
    TJournalLinesForward lines{TJournalBytes(Text), 0, MaxLine};
    TJournalLine line;
    while (lines.Next(line))
        OnLine(line);
}

// ---- backward ---------------------------------------------------------------------
TJournalLinesBackward::TJournalLinesBackward(TJournalBytes Bytes, size_t MaxLine)
    : bytes_(Bytes), maxLine_(std::max<size_t>(MaxLine, 1))
{
}

bool TJournalLinesBackward::Previous(TJournalLine& Line)
{
    if (done_ || error_)
        return false;
    if (!started_) {
        started_ = true;
        const int64_t size = bytes_.Size();
        if (size < 0) {
            error_ = errno;
            return false;
        }
        lineEnd_ = bufferAt_ = static_cast<uint64_t>(size);
        if (size == 0) {
            done_ = true;
            return false;
        }
        char last = 0;
        const ssize_t n = bytes_.Read(&last, 1, lineEnd_ - 1);
        if (n != 1) {
            error_ = n < 0 ? errno : EIO;
            return false;
        }
        if (last == '\n')
            --lineEnd_; // a final line break ends the last line, it starts none
        bufferAt_ = lineEnd_;
    }
    // buffer_ holds [bufferAt_, lineEnd_): the line given last is cut off now.
    buffer_.resize(static_cast<size_t>(lineEnd_ - bufferAt_));
    bool tooLong = false;
    size_t searched = buffer_.size(); // buffer_[searched, end) holds no line break
    size_t want = Slice;
    for (;;) {
        const size_t at = searched == 0 ? std::string::npos : buffer_.rfind('\n', searched - 1);
        if (at != std::string::npos || bufferAt_ == 0) {
            const size_t from = at == std::string::npos ? 0 : at + 1;
            const uint64_t start = bufferAt_ + from;
            Line.Offset = start;
            Line.Number = 0;
            Line.TooLong = tooLong || lineEnd_ - start > maxLine_;
            Line.Text = Line.TooLong ? std::string_view() : std::string_view(buffer_).substr(from);
            if (at == std::string::npos)
                done_ = true;
            else
                lineEnd_ = bufferAt_ + at; // its text stays valid until the next call
            return true;
        }
        if (lineEnd_ - bufferAt_ > maxLine_) {
            tooLong = true; // keep none of it, only find where it starts
            lineEnd_ = bufferAt_;
            buffer_.clear();
        }
        // The slice before bufferAt_, in front of what is kept.
        const size_t n = static_cast<size_t>(std::min<uint64_t>(want, bufferAt_));
        std::string slice(n, '\0');
        for (size_t got = 0; got < n;) {
            const ssize_t r = bytes_.Read(slice.data() + got, n - got, bufferAt_ - n + got);
            if (r <= 0) {
                error_ = r < 0 ? errno : EIO;
                return false;
            }
            got += static_cast<size_t>(r);
        }
        bufferAt_ -= n;
        buffer_.insert(0, slice);
        searched = n;
        want = std::min<size_t>(want * 2, size_t(16) << 20); // a long line: fewer, larger reads
    }
}

size_t TJournalLinesBackward::NumberOf(uint64_t Offset)
{
    uint64_t from = 0, to = Offset;
    size_t base = 1;
    bool down = false;
    if (anchorNumber_ > 0 && anchorOffset_ >= Offset) {
        from = Offset;
        to = anchorOffset_;
        base = anchorNumber_;
        down = true;
    }
    size_t breaks = 0;
    std::string slice(static_cast<size_t>(std::min<uint64_t>(Slice, to - from)), '\0');
    for (uint64_t at = from; at < to;) {
        const ssize_t n = bytes_.Read(slice.data(), static_cast<size_t>(std::min<uint64_t>(Slice, to - at)), at);
        if (n <= 0)
            break;
        breaks += static_cast<size_t>(std::count(slice.data(), slice.data() + n, '\n'));
        at += static_cast<uint64_t>(n);
    }
    const size_t number = down ? base - breaks : base + breaks;
    anchorOffset_ = Offset;
    anchorNumber_ = number;
    return number;
}
