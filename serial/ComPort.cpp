// What cComPort does the same way on every system: the port's name, the
// failure record, and the extra names of ZVBASIC_PORTS in the port list.
#include "serial/ComPort.h"

#include <cstdlib>

#include "serial/PortNames.h"

void cComPort::Fail(int line, int code) {
    Failed = true;
    throw sError("ComPort", line, code);
}

void cComPort::RequireOpen(int line) const {
    if (!IsOpen()) throw sError("ComPort", line);
}

void cComPort::SetName(const std::string& name) {
    std::lock_guard<std::mutex> lock(NameMutex);
    Name = name;
}

std::string cComPort::GetPortName() const {
    std::lock_guard<std::mutex> lock(NameMutex);
    return Name;
}

std::vector<std::string> cComPort::WithExtraPorts(std::vector<std::string> ports) {
    // Extra names (pseudo-terminals of a simulator, unusual device names).
    if (const char* extra = std::getenv("ZVBASIC_PORTS")) {
        std::string list = extra;
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(ExtraPortSeparator, start);
            if (end == std::string::npos) end = list.size();
            std::string item = list.substr(start, end - start);
            if (!item.empty()) ports.push_back(item);
            start = end + 1;
        }
    }
    // One sorted list, the extra names among the devices.
    PortNames::Sort(ports);
    return ports;
}
