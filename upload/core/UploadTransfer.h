#pragma once
// The transfer of the wizard's last page: connect, send the file, send its description, one
// step per tick of the page's 250-millisecond timer, with a status line and a percentage the
// page shows as they are. Every failure ends the transfer with its text on the status line.

#include "FtpConnection.h"
#include "UploadProperties.h"
#include "UploadWizardData.h"

#include <cstdint>
#include <memory>
#include <string>

namespace liftwell {

inline constexpr int TRANSFER_TICK_MS = 250;

inline constexpr const char* TEXT_INIT_FAILED = "Error initializing WinInet.";
inline constexpr const char* TEXT_CONNECTING = "Connecting to %s.";
inline constexpr const char* TEXT_CONNECT_FAILED = "Unable to connect to FTP server.";
inline constexpr const char* TEXT_SEND_THREAD_FAILED = "Error creating send thread.";
inline constexpr const char* TEXT_SENDING_FILE = "Sending file %s.";
inline constexpr const char* TEXT_SEND_FAILED = "Error sending file.";
inline constexpr const char* TEXT_SENDING_DESCRIPTION = "Sending file description information.";
inline constexpr const char* TEXT_DESCRIPTION_START_FAILED =
    "Error sending description information.";
inline constexpr const char* TEXT_SENT = "File sent successfully.";
// Refusals made before connecting.
inline constexpr const char* TEXT_BAD_AREA_PATH =
    "The area's directory on the server (%s) is not below the login directory, so nothing was "
    "sent.";
inline constexpr const char* TEXT_DESCRIPTION_NOT_WRITTEN =
    "The file description could not be written, so nothing was sent.";

// What one transfer sends and where.
struct CUploadJob {
    CFtpAccount account;
    std::string localFile;
    std::string areaPath;        // the chosen area's directory on the server
    std::string descriptionFile; // a temporary file to send as the description; empty: none
    bool descriptionFailed = false; // a description was due but could not be written
};

// The percentage shown for `sent` bytes of `size`: sent ÷ (size ÷ 100) in whole numbers, at
// most 100, and 0 while the size is below 100 bytes.
int TransferPercent(std::uint64_t sent, std::uint64_t size);

class CUploadTransfer {
public:
    // The transfer takes charge of the job's description file: it is deleted when the
    // transfer ends, is cancelled or is dropped, whether it was sent or not.
    explicit CUploadTransfer(CUploadJob job);
    ~CUploadTransfer();
    CUploadTransfer(const CUploadTransfer&) = delete;
    CUploadTransfer& operator=(const CUploadTransfer&) = delete;

    // One step; does nothing once finished.
    void Tick();
    // Stops the transfer (a running send ends within one second) and finishes it.
    void Cancel();

    bool IsFinished() const { return m_state == EState::Finished; }
    // True once the file and its description (when there is one) reached the server.
    bool Succeeded() const { return m_succeeded; }
    bool WasCancelled() const { return m_cancelled; }
    // False when a worker had not stopped within FTP_CLOSE_WAIT_MS of the end and was left
    // to end on its own.
    bool StoppedInTime() const { return m_stoppedInTime; }
    const std::string& StatusText() const { return m_status; }
    int Percent() const { return m_percent; }
    // Why the last step failed, as the client library said it.
    const std::string& FailureDetail() const { return m_failureDetail; }

private:
    enum class EState { Connect, WaitForConnection, Sending, Description, End, Finished };

    void StepConnect();
    void StepWaitForConnection();
    void StepSending();
    void StepDescription();
    void Finish();
    void Fail(const std::string& text);
    void DeleteDescription();

    CUploadJob m_job;
    std::unique_ptr<CFtpConnection> m_connection;
    std::string m_remoteName;
    EState m_state = EState::Connect;
    bool m_sendingDescription = false;
    std::uint64_t m_size = 0;
    int m_percent = 0;
    bool m_succeeded = false;
    bool m_cancelled = false;
    bool m_stoppedInTime = true;
    std::string m_status;
    std::string m_failureDetail;
};

// The job for what the visitor entered: the account from the control's properties (the
// password typed in the wizard when the control has none), the chosen area's directory, and
// the description file written to the temporary directory when the chosen area is in the list.
CUploadJob PrepareUploadJob(const CUploadProperties& properties, const CUploadWizardData& data,
                            const std::string& typedPassword);

// "Connecting to %s." with the %s filled in.
std::string FormatStatus(const char* format, const std::string& value);

} // namespace liftwell
