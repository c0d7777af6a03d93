// HTTP requests for the read and write actions of url!: one synchronous exchange through libcurl
// per call. The request is turned into C++ text before the exchange and the response into values
// after it, so nothing of the runtime is touched while the transfer runs. Status codes are not
// checked; a failed exchange is reported to the caller, which decides what to raise.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/cell.hpp"

namespace vyn::http {

struct Request {
    std::string method;                // as sent: "GET", "PUT", ...
    std::string url;                   // percent-encoded
    std::vector<std::string> headers;  // "Name: value" lines
    std::optional<std::string> body;   // none for GET and HEAD
};

struct Response {
    long status = 0;
    std::string headers;  // header lines of the final response, the status line left out
    std::string body;
};

// Performs the exchange: redirects are followed, TLS certificates verified. Only the given header
// lines are sent beside what HTTP itself needs (Host, Content-Length). Nothing when the server
// cannot be reached or the exchange breaks off.
std::optional<Response> perform(const Request& request);

// The response header map: a word per header name, its value a string, or a block of strings in
// arrival order for a name that came more than once. Lines without a colon are skipped.
Cell header_map(std::string_view header_text);

// The request of a url! action: the method word (its text upper-cased), the URL, a header block
// or null (null sends the three default headers), and the data or null (a string goes as UTF-8,
// a binary from its index, a block molded; GET and HEAD send none). The result is the body as a
// binary (binary), a block of lines (lines) or text with line ends folded, and with `info` a
// block of the status, the header map and that body. False when the exchange failed. A header
// name or value holding a line break raises `invalid-arg` with it.
bool request(const Cell* method, const Cell* url, const Cell* headers, const Cell* data, bool binary, bool lines,
             bool info, Cell* out);

}  // namespace vyn::http
