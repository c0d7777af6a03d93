// HTTP through libcurl, opened when the first request is made. The callbacks libcurl calls only append bytes to C++ strings and never
// raise: an allocation failure inside one ends the transfer as a failed exchange. The header
// callback starts afresh at each status line, so redirects and interim (1xx) responses leave
// nothing in the headers reported.
#include "datatypes/os/http.hpp"

#include <curl/curl.h>

#include <memory>

#include "core/os/shared_library.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/symbol.hpp"
#include "datatypes/block.hpp"
#include "datatypes/map.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/os/files.hpp"
#include "datatypes/string.hpp"
#include "datatypes/url_coding.hpp"
#include "datatypes/word.hpp"

namespace vyn::http {
namespace {

constexpr const char* DEFAULT_HEADERS[] = {
    "Content-Type: application/x-www-form-urlencoded",
    "Accept-Charset: UTF-8",
    "User-Agent: Mozilla/5.0 (Windows NT 6.1; Win64; x64)",
};

// Headers libcurl would add by itself: an empty value keeps each one out unless given.
constexpr const char* SUPPRESSED_HEADERS[] = {"Accept", "Expect", "Content-Type"};

// Waits as long as an unhurried server may take, but never forever.
constexpr long CONNECT_TIMEOUT_SECONDS = 60;
constexpr long STALL_TIMEOUT_SECONDS = 30;
constexpr long MAX_REDIRECTS = 10;

struct Curl {
    decltype(&curl_global_init) global_init;
    decltype(&curl_easy_init) easy_init;
    decltype(&curl_easy_cleanup) easy_cleanup;
    decltype(&curl_easy_setopt) easy_setopt;
    decltype(&curl_easy_perform) easy_perform;
    decltype(&curl_easy_getinfo) easy_getinfo;
    decltype(&curl_slist_append) slist_append;
    decltype(&curl_slist_free_all) slist_free_all;
};

// libcurl's functions, or null when the library cannot be loaded.
const Curl* curl() {
    static os::SharedLibrary library("libcurl.so.4");
    static Curl api{};
    static const bool ready =
        library.bind(api.global_init, "curl_global_init") && library.bind(api.easy_init, "curl_easy_init") &&
        library.bind(api.easy_cleanup, "curl_easy_cleanup") && library.bind(api.easy_setopt, "curl_easy_setopt") &&
        library.bind(api.easy_perform, "curl_easy_perform") && library.bind(api.easy_getinfo, "curl_easy_getinfo") &&
        library.bind(api.slist_append, "curl_slist_append") &&
        library.bind(api.slist_free_all, "curl_slist_free_all") && api.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready ? &api : nullptr;
}

size_t append_body(char* data, size_t size, size_t count, void* target) {
    try {
        static_cast<std::string*>(target)->append(data, size * count);
        return size * count;
    } catch (...) {
        return 0;  // libcurl ends the transfer with a write error
    }
}

size_t append_header(char* data, size_t size, size_t count, void* target) {
    auto* headers = static_cast<std::string*>(target);
    std::string_view line(data, size * count);
    try {
        if (line.starts_with("HTTP/")) headers->clear();
        else headers->append(line);
        return line.size();
    } catch (...) {
        return 0;
    }
}

bool names_header(const std::string& line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':') return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (std::tolower(uint8_t(line[i])) != std::tolower(uint8_t(name[i]))) return false;
    return true;
}

struct SlistFree {
    void operator()(curl_slist* list) const { curl()->slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistFree>;

bool add_line(HeaderList& list, const std::string& line) {
    curl_slist* grown = curl()->slist_append(list.get(), line.c_str());
    if (!grown) return false;
    list.release();
    list.reset(grown);
    return true;
}

bool header_list(const Request& request, HeaderList& list) {
    for (const std::string& line : request.headers)
        if (!add_line(list, line)) return false;
    for (const char* name : SUPPRESSED_HEADERS) {
        bool given = false;
        for (const std::string& line : request.headers) given = given || names_header(line, name);
        if (!given && !add_line(list, std::string(name) + ":")) return false;
    }
    return true;
}

void set_method(const Curl& api, CURL* handle, const Request& request) {
    auto set = [&](CURLoption option, auto value) { api.easy_setopt(handle, option, value); };
    if (request.method == "GET") set(CURLOPT_HTTPGET, 1L);
    else if (request.method == "HEAD") set(CURLOPT_NOBODY, 1L);
    else if (request.method == "POST") set(CURLOPT_POST, 1L);
    else set(CURLOPT_CUSTOMREQUEST, request.method.c_str());
    if (request.method == "GET" || request.method == "HEAD") return;
    // libcurl reads the body from the request while the exchange runs.
    set(CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body ? request.body->size() : 0));
    set(CURLOPT_POSTFIELDS, request.body ? request.body->data() : "");
}

// ---- from values to the request ----

std::string formed(const Cell* value) {
    Rooted held(*value);
    Rooted text(string::make(16));
    mold::form_value(held.get(), text.get(), nullptr, 0);
    return string::to_utf8(text.get());
}

std::string header_name(const Cell* name) {
    if (name->type() >= TYPE_WORD && name->type() <= TYPE_GET_WORD) return std::string(symbol::name(name->s2));
    return formed(name);
}

std::string header_value(const Cell* value) {
    return value->is(TYPE_STRING) ? string::to_utf8(value) : formed(value);
}

// A line break would let a header carry further header lines of its own.
std::string checked_header_text(std::string text, const Cell* from) {
    if (text.find_first_of("\r\n") != std::string::npos) fire(err::invalid_arg, from);
    return text;
}

std::vector<std::string> header_lines(const Cell* headers) {
    if (!headers) return {DEFAULT_HEADERS, DEFAULT_HEADERS + std::size(DEFAULT_HEADERS)};
    Rooted block(*headers);
    std::vector<std::string> lines;
    uint32_t count = block::vs_length(block.get());
    for (uint32_t i = 0; i + 1 < count; i += 2) {
        Cell name = *block::vs_abs_at(block.get(), block->s1 + i);
        std::string text = checked_header_text(header_name(&name), &name);
        Cell value = *block::vs_abs_at(block.get(), block->s1 + i + 1);
        lines.push_back(text + ": " + checked_header_text(header_value(&value), &value));
    }
    return lines;
}

std::string method_name(const Cell* method) {
    std::string name(symbol::name(symbol::resolve(method->s2)));
    for (char& c : name) c = char(std::toupper(uint8_t(c)));
    return name;
}

std::string encoded_url(const Cell* url) {
    Rooted held(*url);
    Rooted text(string::make(string::length(url) + 16));
    url::enhex(held.get(), text.get(), false);
    return string::to_utf8(text.get());
}

std::optional<std::string> body_of(const std::string& method, const Cell* data) {
    if (!data || method == "GET" || method == "HEAD") return std::nullopt;
    return files::bytes_of(data);
}

std::string_view trimmed(std::string_view text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// A name seen before turns its value into a block of the values in arrival order.
void add_header(const Cell& map, std::string_view name, std::string_view value) {
    Rooted key(word::load(name));
    Rooted text(string::from_utf8(value));
    Rooted earlier(map::get_value(map, *key, hashtable::Mode::equal));
    if (earlier->is(TYPE_NONE)) {
        map::set_value(map, *key, *text, hashtable::Mode::equal, map);
        return;
    }
    if (!earlier->is(TYPE_BLOCK)) {
        Rooted values;
        block::make_at(values.get(), 4);
        block::vs_append(values.get(), earlier.get());
        *earlier = *values;
        map::set_value(map, *key, *earlier, hashtable::Mode::equal, map);
    }
    block::vs_append(earlier.get(), text.get());
}

}  // namespace

std::optional<Response> perform(const Request& request) {
    const Curl* api = curl();
    if (!api) return std::nullopt;
    std::unique_ptr<CURL, void (*)(CURL*)> handle(api->easy_init(), api->easy_cleanup);
    HeaderList headers(nullptr);
    if (!handle || !header_list(request, headers)) return std::nullopt;
    auto set = [&](CURLoption option, auto value) { api->easy_setopt(handle.get(), option, value); };
    Response response;
    set(CURLOPT_URL, request.url.c_str());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, MAX_REDIRECTS);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_CONNECTTIMEOUT, CONNECT_TIMEOUT_SECONDS);
    set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(CURLOPT_LOW_SPEED_TIME, STALL_TIMEOUT_SECONDS);
    set(CURLOPT_HTTPHEADER, headers.get());
    set(CURLOPT_WRITEFUNCTION, append_body);
    set(CURLOPT_WRITEDATA, &response.body);
    set(CURLOPT_HEADERFUNCTION, append_header);
    set(CURLOPT_HEADERDATA, &response.headers);
    set_method(*api, handle.get(), request);
    if (api->easy_perform(handle.get()) != CURLE_OK) return std::nullopt;
    api->easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &response.status);
    return response;
}

Cell header_map(std::string_view header_text) {
    Rooted map;
    map::make_at(map.get(), 8);
    while (!header_text.empty()) {
        size_t end = header_text.find('\n');
        std::string_view line = header_text.substr(0, end);
        header_text = end == std::string_view::npos ? std::string_view() : header_text.substr(end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || trimmed(line.substr(0, colon)).empty()) continue;
        add_header(*map, trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
    }
    return *map;
}

bool request(const Cell* method, const Cell* url, const Cell* headers, const Cell* data, bool binary, bool lines,
             bool info, Cell* out) {
    Request exchange;
    exchange.method = method_name(method);
    exchange.url = encoded_url(url);
    exchange.headers = header_lines(headers);
    exchange.body = body_of(exchange.method, data);
    std::optional<Response> response = perform(exchange);
    if (!response) return false;
    Rooted body(files::value_of_bytes(response->body, binary, lines));
    if (!info) {
        *out = *body;
        return true;
    }
    Rooted result;
    block::make_at(result.get(), 3);
    Rooted status(integer_cell(int32_t(response->status)));
    block::vs_append(result.get(), status.get());
    Rooted map(header_map(response->headers));
    block::vs_append(result.get(), map.get());
    block::vs_append(result.get(), body.get());
    *out = *result;
    return true;
}

}  // namespace vyn::http
