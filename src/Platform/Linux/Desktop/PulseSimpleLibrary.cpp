#include "Platform/Linux/Desktop/PulseSimpleLibrary.h"

#include <dlfcn.h>

#include <fmt/format.h>

namespace torvel {

namespace {

template <typename F>
bool resolve(void* handle, const char* name, F& slot, std::string& error) {
    slot = reinterpret_cast<F>(dlsym(handle, name));
    if (!slot) error = fmt::format("no {} in the audio library", name);
    return slot != nullptr;
}

}  // namespace

bool PulseSimpleLibrary::load() {
    const std::lock_guard lock(mutex_);
    if (tried_) return loaded_;
    tried_ = true;
    // The simple API lives in libpulse-simple; pa_strerror in libpulse, which it loads.
    void* simple = dlopen(soname_.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* pulse = simple ? dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (!simple || !pulse) {
        const char* why = dlerror();
        error_ = why ? why : "cannot open the audio library";
        failed_ = true;
        return false;
    }
    loaded_ = resolve(simple, "pa_simple_new", simpleNew, error_) &&
              resolve(simple, "pa_simple_write", write, error_) &&
              resolve(simple, "pa_simple_drain", drain, error_) &&
              resolve(simple, "pa_simple_flush", flush, error_) &&
              resolve(simple, "pa_simple_free", free, error_) &&
              resolve(pulse, "pa_strerror", strerror, error_);
    failed_ = !loaded_;
    return loaded_;
}

std::string PulseSimpleLibrary::error() const {
    const std::lock_guard lock(mutex_);
    return error_;
}

}  // namespace torvel
