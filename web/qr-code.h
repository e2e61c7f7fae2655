#pragma once

#include <string>
#include <vector>

// A QR code of a short text (a link), as a square of modules.
class QrCode {
public:
    // False when the text cannot be encoded (too long, out of memory).
    bool Encode(const std::string& text);
    int Size() const { return size_; }
    bool Dark(int x, int y) const;
    // For a terminal: two module rows per line in half blocks, dark modules
    // shown as the terminal's background, with a quiet zone of 2 around.
    std::string TerminalText() const;

private:
    int size_ = 0;
    std::vector<bool> modules_;
};
