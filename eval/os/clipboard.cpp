// The clipboard over GTK, loaded and started on first use on the X11 backend. What is written
// is turned into bytes before GTK is called, so a value that cannot be written raises before the
// clipboard changes, and GTK's callbacks only copy those bytes out: they never run Vyn code and
// never raise. Reading asks for the targets first and takes, in order, a list of local files,
// text, then an image in a format the image codecs read.
#include "eval/os/clipboard.hpp"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/os/shared_library.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "datatypes/block.hpp"
#include "datatypes/file.hpp"
#include "datatypes/image.hpp"
#include "datatypes/os/files.hpp"
#include "datatypes/string.hpp"

namespace vyn::clipboard {
namespace {

#define VYN_GTK_FUNCTIONS(F)                                                                                  \
    F(gdk_set_allowed_backends) F(gtk_init_check) F(gdk_atom_intern) F(gtk_clipboard_get)                    \
    F(gtk_clipboard_wait_for_targets) F(gtk_clipboard_wait_for_text) F(gtk_clipboard_wait_for_uris)          \
    F(gtk_clipboard_wait_for_contents) F(gtk_clipboard_set_with_data) F(gtk_clipboard_set_can_store)         \
    F(gtk_clipboard_store) F(gtk_targets_include_text) F(gtk_targets_include_uri) F(gtk_target_list_new)     \
    F(gtk_target_list_add) F(gtk_target_list_add_text_targets) F(gtk_target_list_add_uri_targets)          \
    F(gtk_target_list_unref) F(gtk_target_table_new_from_list) F(gtk_target_table_free)                     \
    F(gtk_selection_data_set) F(gtk_selection_data_set_text) F(gtk_selection_data_set_uris)                 \
    F(gtk_selection_data_get_data) F(gtk_selection_data_get_length) F(gtk_selection_data_free)              \
    F(g_free) F(g_strfreev) F(g_filename_from_uri) F(g_unix_fd_add) F(g_main_context_iteration)

struct Gtk {
#define VYN_GTK_MEMBER(name) decltype(&::name) name;
    VYN_GTK_FUNCTIONS(VYN_GTK_MEMBER)
#undef VYN_GTK_MEMBER
};

bool bind_all(os::SharedLibrary& library, Gtk& api) {
#define VYN_GTK_BIND(name) &&library.bind(api.name, #name)
    return true VYN_GTK_FUNCTIONS(VYN_GTK_BIND);
#undef VYN_GTK_BIND
}

struct Session {
    Gtk api{};
    bool tried = false;
    bool ready = false;
};

Session& session() {
    static Session state;
    return state;
}

// Loads and starts GTK: never without a display. The locale GTK sets leaves numbers as the
// runtime writes them.
bool start(Gtk& api) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    static os::SharedLibrary library("libgtk-3.so.0");
    if (!bind_all(library, api)) return false;
    api.gdk_set_allowed_backends("x11");
    if (!api.gtk_init_check(nullptr, nullptr)) return false;
    std::setlocale(LC_NUMERIC, "C");
    return true;
}

// GTK, started on the first call; null when it cannot start.
const Gtk* gtk() {
    Session& state = session();
    if (!state.tried) {
        state.tried = true;
        state.ready = start(state.api);
    }
    return state.ready ? &state.api : nullptr;
}

GtkClipboard* board(const Gtk& api) { return api.gtk_clipboard_get(GDK_SELECTION_CLIPBOARD); }

// ---- reading ----

struct GFree {
    const Gtk* api;
    void operator()(void* p) const { api->g_free(p); }
};

// Local paths of a URI list whose every entry is a local file; nothing otherwise (a list of web
// links is read as the text that comes with it).
std::optional<std::vector<std::string>> local_files(const Gtk& api, GtkClipboard* clipboard) {
    gchar** uris = api.gtk_clipboard_wait_for_uris(clipboard);
    if (!uris) return std::nullopt;
    std::vector<std::string> paths;
    bool all_local = true;
    for (gchar** uri = uris; *uri && all_local; ++uri) {
        std::unique_ptr<gchar, GFree> path(api.g_filename_from_uri(*uri, nullptr, nullptr), GFree{&api});
        all_local = path != nullptr;
        if (all_local) paths.emplace_back(path.get());
    }
    api.g_strfreev(uris);
    if (!all_local) return std::nullopt;
    return paths;
}

std::optional<Cell> text(const Gtk& api, GtkClipboard* clipboard) {
    std::unique_ptr<gchar, GFree> utf8(api.gtk_clipboard_wait_for_text(clipboard), GFree{&api});
    if (!utf8) return std::nullopt;
    std::string text(utf8.get());
    std::erase(text, '\r');
    return string::from_utf8(text);
}

// Image formats read, in order of preference, by the image codecs.
constexpr const char* IMAGE_TYPES[] = {"image/png", "image/jpeg", "image/gif", "image/bmp"};

// The first image format offered, or none.
GdkAtom image_target(const Gtk& api, const GdkAtom* atoms, gint count) {
    for (const char* mime : IMAGE_TYPES) {
        GdkAtom wanted = api.gdk_atom_intern(mime, FALSE);
        for (gint i = 0; i < count; ++i)
            if (atoms[i] == wanted) return wanted;
    }
    return GDK_NONE;
}

// The image the clipboard holds in that format; none when the bytes are no image a codec knows.
Cell image(const Gtk& api, GtkClipboard* clipboard, GdkAtom target) {
    GtkSelectionData* data = api.gtk_clipboard_wait_for_contents(clipboard, target);
    if (!data) return none_cell();
    gint length = api.gtk_selection_data_get_length(data);
    const guchar* bytes = api.gtk_selection_data_get_data(data);
    std::vector<uint8_t> file(bytes, bytes + std::max(length, 0));
    api.gtk_selection_data_free(data);
    Rooted value;
    image::decode(value.get(), file);
    return *value;
}

// One pass over the formats; none when the clipboard holds none of them.
Cell read_formats(const Gtk& api) {
    GtkClipboard* clipboard = board(api);
    GdkAtom* atoms = nullptr;
    gint count = 0;
    if (!api.gtk_clipboard_wait_for_targets(clipboard, &atoms, &count)) return none_cell();
    bool has_uris = api.gtk_targets_include_uri(atoms, count);
    bool has_text = api.gtk_targets_include_text(atoms, count);
    GdkAtom picture = image_target(api, atoms, count);
    api.g_free(atoms);
    if (has_uris)
        if (auto paths = local_files(api, clipboard)) return files::file_block(*paths);
    if (has_text)
        if (auto value = text(api, clipboard)) return *value;
    if (picture != GDK_NONE) return image(api, clipboard, picture);
    return none_cell();
}

// ---- writing ----

// What goes on the clipboard, kept by GTK for as long as this program owns the clipboard.
struct Payload {
    enum class Kind { nothing, text, uris, png } kind = Kind::nothing;
    std::string bytes;
    std::vector<std::string> uris;
};

void provide(GtkClipboard*, GtkSelectionData* selection, guint, gpointer owner) {
    const Gtk& api = *gtk();
    const Payload& payload = *static_cast<const Payload*>(owner);
    try {
        if (payload.kind == Payload::Kind::text) {
            api.gtk_selection_data_set_text(selection, payload.bytes.data(), gint(payload.bytes.size()));
        } else if (payload.kind == Payload::Kind::uris) {
            std::vector<gchar*> uris;
            for (const std::string& uri : payload.uris) uris.push_back(const_cast<gchar*>(uri.c_str()));
            uris.push_back(nullptr);
            api.gtk_selection_data_set_uris(selection, uris.data());
        } else if (payload.kind == Payload::Kind::png) {
            api.gtk_selection_data_set(selection, api.gdk_atom_intern("image/png", FALSE), 8,
                                       reinterpret_cast<const guchar*>(payload.bytes.data()), gint(payload.bytes.size()));
        }
    } catch (...) {
        // Out of memory while answering: the requester gets nothing, as for a refused request.
    }
}

void release(GtkClipboard*, gpointer owner) { delete static_cast<Payload*>(owner); }

// A file: URI of the local form of a file named in the block, from the current directory when
// it is relative. Bytes that may not stand in a URI path ("#", "?", "%", blanks, non-ASCII) are
// percent-encoded.
std::string file_uri(const Cell* file) {
    Rooted local(string::make(string::length(file) + 16));
    file::path_to_local(file, local.get(), true);
    std::string uri = "file://";
    for (uint8_t byte : string::to_utf8(local.get())) {
        bool plain = std::isalnum(byte) || std::string_view("-._~/!$&'()*+,;=:@").find(char(byte)) != std::string_view::npos;
        if (plain) uri += char(byte);
        else uri.append("%").append(string::byte_to_hex(byte));
    }
    return uri;
}

// An image goes as a PNG file; one of 0 by 0 pixels only empties the clipboard.
Payload image_payload(const Cell* value) {
    uint32_t width = image::width_of(*value), height = image::height_of(*value);
    if ((width == 0) != (height == 0)) fire(err::invalid_arg, value);
    Payload payload;
    if (width == 0) return payload;
    payload.kind = Payload::Kind::png;
    if (!image_os::encode(image::pixels_of(*value), image_os::Format::png, &payload.bytes)) fire(err::bad_media);
    return payload;
}

Payload prepare(const Cell* value) {
    Payload payload;
    if (value->is(TYPE_NONE)) return payload;
    if (value->is(TYPE_IMAGE)) return image_payload(value);
    if (value->is(TYPE_STRING)) {
        payload.kind = Payload::Kind::text;
        payload.bytes = string::to_utf8(value);
        return payload;
    }
    if (!value->is(TYPE_BLOCK)) fire(err::invalid_arg, value);
    payload.kind = Payload::Kind::uris;
    Rooted files(*value);
    for (uint32_t i = 0, n = block::vs_length(files.get()); i < n; ++i) {
        Rooted file(*block::vs_abs_at(files.get(), files->s1 + i));
        if (!file->is(TYPE_FILE) && !file->is(TYPE_STRING)) fire(err::invalid_arg, file.get());
        payload.uris.push_back(file_uri(file.get()));
    }
    return payload;
}

// The targets GTK offers for the payload's kind.
bool offer(const Gtk& api, std::unique_ptr<Payload> payload) {
    GtkTargetList* list = api.gtk_target_list_new(nullptr, 0);
    if (payload->kind == Payload::Kind::text) api.gtk_target_list_add_text_targets(list, 0);
    if (payload->kind == Payload::Kind::uris) api.gtk_target_list_add_uri_targets(list, 0);
    if (payload->kind == Payload::Kind::png) api.gtk_target_list_add(list, api.gdk_atom_intern("image/png", FALSE), 0, 0);
    gint count = 0;
    GtkTargetEntry* targets = api.gtk_target_table_new_from_list(list, &count);
    api.gtk_target_list_unref(list);
    // Nothing to offer still takes the clipboard from its owner: that empties it.
    GtkTargetEntry no_target{};
    GtkClipboard* clipboard = board(api);
    bool placed = api.gtk_clipboard_set_with_data(clipboard, targets ? targets : &no_target, guint(count), provide,
                                                  release, payload.get());
    if (targets) api.gtk_target_table_free(targets, count);
    if (!placed) return false;
    payload.release();  // GTK hands it to `release` when the clipboard changes hands
    // A clipboard manager, when one runs, keeps the content once this program has exited.
    api.gtk_clipboard_set_can_store(clipboard, nullptr, 0);
    api.gtk_clipboard_store(clipboard);
    return true;
}

}  // namespace

Cell read() {
    const Gtk* api = gtk();
    if (!api) return logic_cell(false);
    // An owner that is still setting the clipboard up gets a second chance.
    Cell value = read_formats(*api);
    return value.is(TYPE_NONE) ? read_formats(*api) : value;
}

bool write(const Cell* value) {
    auto payload = std::make_unique<Payload>(prepare(value));
    const Gtk* api = gtk();
    return api && offer(*api, std::move(payload));
}

void serve_until_readable(int fd) {
    if (!session().ready) return;
    const Gtk& api = session().api;
    bool readable = false;
    auto mark_readable = [](gint, GIOCondition, gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
    };
    api.g_unix_fd_add(fd, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), mark_readable, &readable);
    while (!readable) api.g_main_context_iteration(nullptr, TRUE);
}

}  // namespace vyn::clipboard
