#include "web/http-request.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

constexpr size_t kMaxTargetBytes = 2048;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text) {
    size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    size_t e = text.find_last_not_of(" \t");
    return text.substr(b, e - b + 1);
}

// RFC 9110 token characters: what a method and a field name may hold.
bool IsToken(const std::string& text) {
    if (text.empty())
        return false;
    for (unsigned char c : text) {
        if (c <= 32 || c >= 127 || std::strchr("\"(),/:;<=>?@[\\]{}", c))
            return false;
    }
    return true;
}

bool HasControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](unsigned char c) { return (c < 32 && c != '\t') || c == 127; });
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int hi = HexDigit(text[i + 1]);
            int lo = HexDigit(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i] == '+' ? ' ' : text[i]);
    }
    return out;
}

}  // namespace

HttpRequest::Result HttpRequest::Parse(const char* data, size_t len, size_t* headBytes) {
    method_.clear();
    target_.clear();
    fields_.clear();
    const size_t scan = std::min(len, kMaxHeadBytes);
    const std::string head(data, scan);
    size_t end = head.find("\r\n\r\n");
    if (end == std::string::npos)
        return len >= kMaxHeadBytes ? Result::kTooLarge : Result::kIncomplete;
    size_t pos = 0;
    bool first = true;
    while (pos < end) {
        size_t eol = head.find("\r\n", pos);
        std::string line = head.substr(pos, eol - pos);
        pos = eol + 2;
        if (first) {
            if (!ParseRequestLine(line))
                return Result::kMalformed;
            first = false;
        } else if (fields_.size() >= kMaxFields) {
            return Result::kTooLarge;
        } else if (!ParseField(line)) {
            return Result::kMalformed;
        }
    }
    if (first)
        return Result::kMalformed;
    if (headBytes)
        *headBytes = end + 4;
    return Result::kComplete;
}

bool HttpRequest::ParseRequestLine(const std::string& line) {
    size_t sp1 = line.find(' ');
    if (sp1 == std::string::npos)
        return false;
    size_t sp2 = line.find(' ', sp1 + 1);
    if (sp2 == std::string::npos || line.find(' ', sp2 + 1) != std::string::npos)
        return false;
    method_ = line.substr(0, sp1);
    target_ = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string version = line.substr(sp2 + 1);
    if (!IsToken(method_) || target_.empty() || target_[0] != '/' ||
        target_.size() > kMaxTargetBytes || HasControl(target_))
        return false;
    return version == "HTTP/1.1" || version == "HTTP/1.0";
}

bool HttpRequest::ParseField(const std::string& line) {
    size_t colon = line.find(':');
    if (colon == std::string::npos)
        return false;
    std::string name = line.substr(0, colon);
    std::string value = Trim(line.substr(colon + 1));
    if (!IsToken(name) || HasControl(value))
        return false;
    fields_.emplace_back(Lower(name), value);
    return true;
}

std::string HttpRequest::Path() const {
    return target_.substr(0, target_.find('?'));
}

std::string HttpRequest::Field(const std::string& name) const {
    const std::string key = Lower(name);
    for (const auto& f : fields_) {
        if (f.first == key)
            return f.second;
    }
    return {};
}

bool HttpRequest::FieldHasToken(const std::string& name, const std::string& token) const {
    const std::string want = Lower(token);
    const std::string value = Lower(Field(name));
    size_t pos = 0;
    while (pos <= value.size()) {
        size_t comma = value.find(',', pos);
        if (comma == std::string::npos)
            comma = value.size();
        if (Trim(value.substr(pos, comma - pos)) == want)
            return true;
        pos = comma + 1;
    }
    return false;
}

std::string HttpRequest::QueryValue(const std::string& key) const {
    size_t q = target_.find('?');
    if (q == std::string::npos)
        return {};
    const std::string query = target_.substr(q + 1);
    size_t pos = 0;
    while (pos <= query.size()) {
        size_t amp = query.find('&', pos);
        if (amp == std::string::npos)
            amp = query.size();
        const std::string pair = query.substr(pos, amp - pos);
        size_t eq = pair.find('=');
        if (PercentDecode(pair.substr(0, eq)) == key)
            return eq == std::string::npos ? std::string() : PercentDecode(pair.substr(eq + 1));
        pos = amp + 1;
    }
    return {};
}

bool HttpRequest::IsWebSocketUpgrade() const {
    return method_ == "GET" && FieldHasToken("upgrade", "websocket") &&
           FieldHasToken("connection", "upgrade") && !Field("sec-websocket-key").empty();
}
