// Feeds arbitrary bytes to the phone page's request-head parser, as a
// browser or anyone on the network could send them, and checks what it
// reports stays within the input and its limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "web/http-request.h"

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    HttpRequest request;
    size_t head = 0;
    const HttpRequest::Result result = request.Parse(text, size, &head);
    if (result == HttpRequest::Result::kComplete) {
        Check(head >= 4 && head <= size && head <= HttpRequest::kMaxHeadBytes);
        Check(std::string(text + head - 4, 4) == "\r\n\r\n");
        Check(!request.Method().empty() && !request.Target().empty());
        Check(request.Target()[0] == '/');
        Check(request.Path().size() <= request.Target().size());
        Check(request.QueryValue("k").size() <= request.Target().size());
        request.IsWebSocketUpgrade();
        request.FieldHasToken("connection", "upgrade");
    }
    if (result == HttpRequest::Result::kIncomplete)
        Check(size < HttpRequest::kMaxHeadBytes);
    // The same bytes cut short never complete with a longer head.
    if (size > 0) {
        HttpRequest shorter;
        size_t shortHead = 0;
        if (shorter.Parse(text, size - 1, &shortHead) == HttpRequest::Result::kComplete)
            Check(result == HttpRequest::Result::kComplete && shortHead == head);
    }
    return 0;
}
