// What tests may see of the engine's and the link's insides, and nothing more.
#pragma once

#include <cstdint>

#include "transfer/transfer_engine.h"

class CTransferEngineProbe {
 public:
  static CReceiverLink* Link(CTransferEngine& engine) { return engine.m_pLink; }
  static std::int32_t Received(const CTransferEngine& engine) { return engine.m_nReceived; }
};

class CReceiverLinkProbe {
 public:
  static BYTE& BlockCounter(CReceiverLink& link) { return link.m_nBlockCounter; }
  static const BYTE* KeptBlock(const CReceiverLink& link) { return link.m_blockBuffer; }
};
