#include "platform/os/pty.h"
#include "platform/os/serial_device.h"

namespace platform {

bool CPseudoTerminal::SetSlaveSpeed(std::uint32_t baud) {
  return m_slave >= 0 && SetArbitrarySpeed(m_slave, baud) == 0;
}

}  // namespace platform
