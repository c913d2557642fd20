// The serial port through QSerialPort.
#pragma once

#include <QObject>
#include <QSerialPort>

#include "serial/serial_port.h"
#include "serial/serial_rules.h"

namespace orv::serial {

class QtSerialPort final : public QObject, public SerialPort {
    Q_OBJECT
  public:
    explicit QtSerialPort(QObject* parent = nullptr);

    bool portOpen() const override { return port_.isOpen(); }
    Status setPortOpen(bool open) override;
    std::int16_t commPort() const override { return number_; }
    Status setCommPort(std::int16_t number) override;
    std::string settings() const override { return settings_; }
    Status setSettings(const std::string& text) override;
    Status output(const std::string& bytes) override;
    std::int64_t pendingBytes() const override { return port_.bytesToWrite(); }
    void drain(std::chrono::milliseconds bound) override;

    // Errors seen since the port was made; a lost device must not keep them coming.
    int errorsSeen() const { return errorsSeen_; }

  private:
    // Whether the device can take bytes now without waiting.
    bool deviceHasRoom() const;
    Status apply(const PortSettings& s);
    void onError(QSerialPort::SerialPortError error);
    std::string device() const;
    // Why a device that raised a read, write or resource error is lost, as
    // the device tells it now.
    std::string lostReason() const;

    QSerialPort port_;
    std::int16_t number_ = kDefaultPort;
    std::string settings_ = kDefaultSettings;
    int errorsSeen_ = 0;
    bool sending_ = false;    // inside output()
    std::string lostInSend_;  // why the device went away during output(), if it did
};

}  // namespace orv::serial
