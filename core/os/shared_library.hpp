// Shared libraries opened on first use. The libraries behind the HTTP client and the clipboard
// pull in dozens of others; linking them would make every start of the program pay for loading
// them. A library is opened once and stays open; its functions are looked up by name.
#pragma once

namespace vyn::os {

class SharedLibrary {
public:
    explicit SharedLibrary(const char* soname) : soname_(soname) {}
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Whether the library is open, opening it on the first call.
    bool open();

    // Sets `fn` to the named function; false when the library or the function is missing.
    template <typename Fn>
    bool bind(Fn& fn, const char* name) {
        fn = reinterpret_cast<Fn>(address_of(name));
        return fn != nullptr;
    }

private:
    void* address_of(const char* name);

    const char* soname_;
    void* handle_ = nullptr;
    bool tried_ = false;
};

}  // namespace vyn::os
