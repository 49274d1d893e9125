#pragma once

#include <iostream>
#include <sstream>
#include <string>

#include "logging/Log.h"

namespace ZURAV {

// The lines the client logs at INFO and above, taken from the console mirror of the logging
// layer while the object lives. Create it before any thread that logs is started.
class ConsoleLog {
  public:
    ConsoleLog()
        : _old(std::cerr.rdbuf(_text.rdbuf())),
          _wasOn(Orbanex::gLogToConsole.exchange(true)),
          _oldLevel(Orbanex::gLogToConsoleLevel.exchange(Orbanex::LogLevel::LOGINFO)) {}
    ~ConsoleLog() {
        Orbanex::gLogToConsoleLevel = _oldLevel;
        Orbanex::gLogToConsole = _wasOn;
        std::cerr.rdbuf(_old);
    }
    ConsoleLog(const ConsoleLog&) = delete;
    ConsoleLog& operator=(const ConsoleLog&) = delete;

    // Everything written so far; read it once the threads that log are done.
    std::string text() const { return _text.str(); }
    // How often part occurs.
    size_t count(const std::string& part) const {
        size_t n = 0;
        const std::string all = text();
        for (size_t at = all.find(part); at != std::string::npos; at = all.find(part, at + 1)) ++n;
        return n;
    }

  private:
    std::ostringstream _text;
    std::streambuf* _old;
    bool _wasOn;
    Orbanex::LogLevel::Type _oldLevel;
};

}  // namespace ZURAV
