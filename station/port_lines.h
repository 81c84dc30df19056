// Output of one port: what its stages and its Ui write, cut into whole lines and
// handed to the station's observer one by one, so the lines of several ports never
// interleave mid-line.
#pragma once

#include <functional>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace quorvane {

class LineSplitBuf : public std::streambuf {
public:
    explicit LineSplitBuf(std::function<void(std::string_view)> line) : line_(std::move(line)) {}
    LineSplitBuf(const LineSplitBuf&) = delete;
    LineSplitBuf& operator=(const LineSplitBuf&) = delete;
    ~LineSplitBuf() override {
        // A last line without its line end still goes out.
        if (!pending_.empty()) line_(pending_);
    }

protected:
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
        Put(traits_type::to_char_type(ch));
        return ch;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i) Put(s[i]);
        return n;
    }

private:
    void Put(char c) {
        pending_.push_back(c);
        if (c != '\n') return;
        line_(pending_);
        pending_.clear();
    }

    std::function<void(std::string_view)> line_;
    std::string pending_;
};

enum class LineKind { Out, Err };

// A port's two streams: what a command line prints on stdout (values read, diff
// lines) and on stderr (status, notices, errors).
class PortStreams {
public:
    using LineSink = std::function<void(LineKind, std::string_view)>;
    explicit PortStreams(const LineSink& sink)
        : outBuf_([sink](std::string_view l) { sink(LineKind::Out, l); }),
          errBuf_([sink](std::string_view l) { sink(LineKind::Err, l); }),
          out_(&outBuf_),
          err_(&errBuf_) {}

    std::ostream& Out() { return out_; }
    std::ostream& Err() { return err_; }

private:
    LineSplitBuf outBuf_;
    LineSplitBuf errBuf_;
    std::ostream out_;
    std::ostream err_;
};

}  // namespace quorvane
