#include "web/qr-code.h"

#include <qrencode.h>

bool QrCode::Encode(const std::string& text) {
    size_ = 0;
    modules_.clear();
    QRcode* code = QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M);
    if (!code)
        return false;
    size_ = code->width;
    modules_.resize(static_cast<size_t>(size_) * static_cast<size_t>(size_));
    for (size_t i = 0; i < modules_.size(); ++i)
        modules_[i] = (code->data[i] & 1) != 0;
    QRcode_free(code);
    return true;
}

bool QrCode::Dark(int x, int y) const {
    if (x < 0 || y < 0 || x >= size_ || y >= size_)
        return false;
    return modules_[static_cast<size_t>(y) * static_cast<size_t>(size_) + static_cast<size_t>(x)];
}

std::string QrCode::TerminalText() const {
    constexpr int kQuiet = 2;
    // Light modules are drawn as blocks and dark ones left blank: on the
    // usual dark terminal that gives dark modules on a light square, as
    // readers expect.
    std::string out;
    for (int y = -kQuiet; y < size_ + kQuiet; y += 2) {
        for (int x = -kQuiet; x < size_ + kQuiet; ++x) {
            const bool top = !Dark(x, y);
            const bool bottom = y + 1 >= size_ + kQuiet ? false : !Dark(x, y + 1);
            out += top && bottom ? "\xe2\x96\x88"
                   : top         ? "\xe2\x96\x80"
                   : bottom      ? "\xe2\x96\x84"
                                 : " ";
        }
        out += "\n";
    }
    return out;
}
