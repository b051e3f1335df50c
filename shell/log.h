// The start-up step log: one line per completed step, flushed as it is written, so the file is
// complete up to the last step even if the process dies. It has a master switch; this saver keeps
// it off, so normally no file is ever created and every call returns at once.
#pragma once

#include <fstream>
#include <string>
#include <string_view>

namespace host {
class HostPort;
}

class Log {
public:
    // The host shows the one warning box when the file cannot be created (null: no box).
    void AttachHost(host::HostPort* host) { host_ = host; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool Enabled() const { return enabled_; }
    bool IsOpen() const { return open_; }

    // Replaces any file of that name: "Log started" and an empty line.
    void Open(const std::string& fileName);
    void Write(std::string_view message);
    // An empty line and "Log finished"; only once per Open.
    void Close();

private:
    std::ofstream stream_;
    host::HostPort* host_ = nullptr;
    bool enabled_ = true;
    bool open_ = false;
};
