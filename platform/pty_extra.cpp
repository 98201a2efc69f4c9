#include "platform/pty.h"
#include "platform/serial_device.h"

bool CPseudoTerminal::SetSlaveSpeed(std::uint32_t baud) {
  return m_slave >= 0 && SetArbitrarySpeed(m_slave, baud) == 0;
}
