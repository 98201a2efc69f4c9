// The receiver link protocol as numbers: frame layout, command and reply codes, job codes and
// the job block. Shared by the program and the receiver simulator.
#pragma once

#include <cstdint>
#include <iterator>

namespace quorin {

// Every command and reply starts with (or is) this 8-byte header:
//   [0] marker 0x01, [1] parameter A, [2] code, [3] parameter B, [4..7] checksum big-endian
constexpr std::uint8_t FRAME_MARKER = 0x01;
constexpr int FRAME_HEADER_SIZE = 8;
constexpr int FRAME_OFS_PARAM_A = 1;
constexpr int FRAME_OFS_CODE = 2;
constexpr int FRAME_OFS_PARAM_B = 3;
constexpr int FRAME_OFS_CHECKSUM = 4;

constexpr int DATA_BLOCK_SIZE = 512;
constexpr int JOB_BLOCK_SIZE = 44;
constexpr int FRAME_ACCUMULATOR_SIZE = 256;

}  // namespace quorin

// Commands, PC to receiver.
constexpr std::uint8_t CMD_SET_BAUD = 0x01;
constexpr std::uint8_t CMD_DATA = 0x13;
constexpr std::uint8_t CMD_BLOCK_ACK = 0x16;
constexpr std::uint8_t CMD_START_SEND = 0x30;
constexpr std::uint8_t CMD_SWITCH_BAUD = 0x31;
constexpr std::uint8_t CMD_START_READ = 0x40;

// Replies, receiver to PC.
constexpr std::uint8_t RSP_BAUD_OK = 0x11;
constexpr std::uint8_t RSP_DONE = 0x14;
constexpr std::uint8_t RSP_RESEND = 0x17;
constexpr std::uint8_t RSP_CHECKSUM_ERROR_1 = 0x1A;
constexpr std::uint8_t RSP_CONNECT = 0x20;
constexpr std::uint8_t RSP_READY = 0x21;
constexpr std::uint8_t RSP_NEXT_BLOCK = 0x23;
constexpr std::uint8_t RSP_RAW_DATA = 0x26;
constexpr std::uint8_t RSP_CHECKSUM_ERROR_2 = 0x2A;
constexpr std::uint8_t RSP_LINK_ERROR_1 = 0x33;
constexpr std::uint8_t RSP_DATA_COMM_ERROR = 0x36;
constexpr std::uint8_t RSP_COMM_ERROR = 0x41;
constexpr std::uint8_t RSP_FIRST_BLOCK = 0x50;
constexpr std::uint8_t RSP_INVALID_SW = 0x51;
constexpr std::uint8_t RSP_LINK_ERROR_2 = 0x60;
constexpr std::uint8_t RSP_DIFFERENT_MODEL = 0x70;
constexpr std::uint8_t RSP_PROGRESS = 0x80;

// Job codes (the dialog's m_nJob); the low byte of the first three is what the start command
// announces.
constexpr int JOB_SOFTWARE = 96;
constexpr int JOB_DATABASE = 80;
constexpr int JOB_BOOT = 64;
constexpr int JOB_CHANNEL_LIST = 128;
constexpr int JOB_INVALID = 240;

// Job block (44 bytes behind the start command's header), multi-byte fields big-endian.
constexpr int JOBBLK_OFS_IDENTITY = 0;   // 16 bytes
constexpr int JOBBLK_OFS_PARAMETER = 32; // 4 bytes
constexpr int JOBBLK_OFS_SIZE = 36;      // 4 bytes
constexpr int JOBBLK_OFS_JOB_CODE = 40;  // 1 byte
constexpr std::uint32_t JOB_PARAMETER_DATABASE = 0x190000;
constexpr std::uint32_t DATABASE_SIZE = 0x40000;  // 262,144 bytes, 512 pieces of 512

// The text that makes running receiver software restart into its loader: "\nreboot\n" and
// its terminating zero byte.
constexpr char REBOOT_TEXT[] = "\nreboot\n";
constexpr int REBOOT_TEXT_SIZE = 9;

// Speed index (the speed list's selection, and what command 0x01 carries) to baud. Index 0 is
// the base speed every job starts at and returns to.
constexpr std::uint32_t SPEED_TABLE[] = {9600, 14400, 19200, 38400, 57600, 115200, 230400};
constexpr int SPEED_COUNT = static_cast<int>(std::size(SPEED_TABLE));
constexpr int SPEED_INDEX_BASE = 0;
