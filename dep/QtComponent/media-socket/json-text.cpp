#include "dep/QtComponent/media-socket/json-text.h"

#include <memory>
#include <sstream>

#include <json/reader.h>
#include <json/writer.h>

namespace media_socket {
namespace {

Json::StreamWriterBuilder CompactWriterBuilder() {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["commentStyle"] = "None";
    builder["enableYAMLCompatibility"] = false;
    builder["dropNullPlaceholders"] = false;
    builder["useSpecialFloats"] = false;
    builder["emitUTF8"] = false;
    builder["precision"] = 17;
    builder["precisionType"] = "significant";
    return builder;
}

Json::CharReaderBuilder LenientReaderBuilder() {
    Json::CharReaderBuilder builder;
    builder["allowComments"] = true;
    builder["collectComments"] = false;
    builder["strictRoot"] = false;
    builder["failIfExtra"] = false;
    return builder;
}

}  // namespace

std::string WriteCompactJson(const Json::Value& value) {
    static const Json::StreamWriterBuilder builder = CompactWriterBuilder();
    std::unique_ptr<Json::StreamWriter> writer(builder.newStreamWriter());
    std::ostringstream out;
    writer->write(value, &out);
    out << '\n';
    return out.str();
}

bool ParseJson(const char* begin, const char* end, Json::Value* root, size_t* used) {
    static const Json::CharReaderBuilder builder = LenientReaderBuilder();
    try {
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        Json::Value parsed;
        std::string errors;
        if (!reader->parse(begin, end, &parsed, &errors))
            return false;
        if (used) {
            const ptrdiff_t limit = parsed.getOffsetLimit();
            const ptrdiff_t size = end - begin;
            *used = static_cast<size_t>(limit > 0 && limit <= size ? limit : size);
        }
        *root = std::move(parsed);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace media_socket
