// Output of one port: whole lines written to a shared stream, each behind the port's
// prefix ("ttyUSB3: "), so the lines of several ports never interleave mid-line.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>

namespace quorvane {

class LinePrefixBuf : public std::streambuf {
public:
    LinePrefixBuf(std::ostream& target, std::string prefix)
        : target_(target), prefix_(std::move(prefix)) {}
    LinePrefixBuf(const LinePrefixBuf&) = delete;
    LinePrefixBuf& operator=(const LinePrefixBuf&) = delete;
    ~LinePrefixBuf() override {
        // A last line without its line end still reaches the target.
        if (!line_.empty()) target_ << prefix_ << line_ << std::flush;
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
    int sync() override {
        target_.flush();
        return 0;
    }

private:
    void Put(char c) {
        line_.push_back(c);
        if (c != '\n') return;
        target_ << prefix_ << line_;
        line_.clear();
    }

    std::ostream& target_;
    std::string prefix_;
    std::string line_;
};

// A port's stdout and stderr, prefixed or passed through as they are.
class PortStreams {
public:
    PortStreams(std::ostream& out, std::ostream& err, const std::string& prefix)
        : outBuf_(out, prefix), errBuf_(err, prefix), out_(&outBuf_), err_(&errBuf_) {}

    std::ostream& Out() { return out_; }
    std::ostream& Err() { return err_; }

private:
    LinePrefixBuf outBuf_;
    LinePrefixBuf errBuf_;
    std::ostream out_;
    std::ostream err_;
};

}  // namespace quorvane
