// One serial port held exclusively, for an RS485 bus reached directly or through a converter
// whose transmitter is keyed by RTS.
//
// Principles of operation:
// - Open puts the line in raw mode with the chosen speed and framing, no flow control,
//   DTR on and RTS low; every byte received (NUL and bytes with line errors included) is
//   delivered unchanged.
// - Write keys RTS around the whole block: RTS up, all bytes written, output drained, RTS down.
//   It blocks until the last byte has left the port.
// - Read never waits: it hands over at most the bytes already queued; the rest stay queued.
// - All calls come from one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serial_line_ops.h"

struct PortHandle {
    int fd = -1;
};

class CSerialPort {
public:
    CSerialPort();
    virtual ~CSerialPort();  // closes the port
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens COM<port> (1..8, resolved through ComDevicePath) with the speed in bits per second,
    // 7 or 8 data bits, parity code 0 none / 1 odd / 2 even and stop-bits code 0 (one) / 2 (two).
    // Returns the open handle, never null on success; null on failure, with the reason in
    // LastError/LastErrorText. Call only while closed.
    PortHandle* Open(int port, uint32_t speed, uint8_t dataBits, uint8_t parity, uint8_t stopBits);

    // 1 when an open port was closed, 0 when it was already closed.
    int Close();

    // Sends length bytes with RTS raised until the output has drained. 1 while open (whatever
    // the driver said), 0 when closed: then nothing is sent and RTS is not touched.
    int Write(const unsigned char* buffer, int length);

    // Copies at most maximum bytes that have already arrived into buffer; never waits.
    // Returns the count, 0 when nothing is queued, the port is closed or the device is gone.
    int Read(unsigned char* buffer, int maximum);

    [[nodiscard]] bool IsOpen() const { return m_bOpen != 0; }
    // errno of the last failed Open (0 after a success), and a sentence for the user.
    [[nodiscard]] int LastError() const { return m_nLastError; }
    [[nodiscard]] const std::string& LastErrorText() const { return m_szLastError; }

    // The calls that key the modem lines and move bytes; null puts back the real ones.
    // For tests that record the order of RTS changes around writes.
    void SetLineOps(const SerialLineOps* ops) { m_pOps = ops != nullptr ? ops : &kRealLineOps; }

private:
    struct SavedLine;  // the line as it was before Open (termios, kept out of this header)

    PortHandle* Fail(int error, std::string text);
    void WriteAll(const unsigned char* buffer, int length);

    PortHandle* m_hComm = nullptr;  // null while closed
    int m_bOpen = 0;
    PortHandle m_handle;
    int m_nLastError = 0;
    std::string m_szLastError;
    const SerialLineOps* m_pOps = &kRealLineOps;
    std::unique_ptr<SavedLine> m_pSavedLine;  // put back by Close
};
