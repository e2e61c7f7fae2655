#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// One HTTP/1.x request head (request line and header fields), taken from
// bytes a browser (or anyone on the network) sent. Everything is bounded:
// the head may not pass kMaxHeadBytes, nor hold more than kMaxFields fields.
class HttpRequest {
public:
    static constexpr size_t kMaxHeadBytes = 8192;
    static constexpr size_t kMaxFields = 64;

    enum class Result {
        kIncomplete,  // no blank line yet and still under the limit
        kComplete,
        kMalformed,
        kTooLarge,
    };

    // Parses the head at the start of `data`. On kComplete, *headBytes is the
    // length of the head including its blank line.
    Result Parse(const char* data, size_t len, size_t* headBytes = nullptr);

    const std::string& Method() const { return method_; }
    const std::string& Target() const { return target_; }
    // The target up to '?'.
    std::string Path() const;
    // Value of a field by name (any case), empty when absent.
    std::string Field(const std::string& name) const;
    // Whether a comma-separated field holds `token` (any case).
    bool FieldHasToken(const std::string& name, const std::string& token) const;
    // Value of `key` in the query string, percent-decoded; empty when absent.
    std::string QueryValue(const std::string& key) const;
    bool IsWebSocketUpgrade() const;

private:
    bool ParseRequestLine(const std::string& line);
    bool ParseField(const std::string& line);

    std::string method_;
    std::string target_;
    std::vector<std::pair<std::string, std::string>> fields_;  // names in lower case
};
