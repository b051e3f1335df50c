#include "shell/log.h"

#include "platform/host/host_port.h"

void Log::Open(const std::string& fileName) {
    if (!enabled_) return;
    open_ = false;
    if (stream_.is_open()) stream_.close();
    stream_.clear();
    stream_.open(fileName, std::ios::out | std::ios::trunc);
    if (!stream_.is_open()) {
        if (host_ != nullptr) host_->MessageBox(nullptr, "Cant create log  file", "Warning", MB_OK);
        return;
    }
    stream_ << "Log started\n\n" << std::flush;
    open_ = true;
}

void Log::Write(std::string_view message) {
    if (!enabled_ || !open_) return;
    stream_ << message << '\n' << std::flush;
}

void Log::Close() {
    if (!enabled_ || !open_) return;
    stream_ << "\nLog finished\n" << std::flush;
    stream_.close();
    open_ = false;
}
