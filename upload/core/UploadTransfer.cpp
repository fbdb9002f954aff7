#include "UploadTransfer.h"

#include "DescriptionFile.h"

#include <sys/stat.h>
#include <unistd.h>

namespace liftwell {

namespace {

bool FileSize(const std::string& path, std::uint64_t& size) {
    struct stat info{};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

} // namespace

int TransferPercent(std::uint64_t sent, std::uint64_t size) {
    const std::uint64_t step = size / 100;
    if (step == 0) {
        return 0;
    }
    const std::uint64_t percent = sent / step;
    return percent > 100 ? 100 : static_cast<int>(percent);
}

std::string FormatStatus(const char* format, const std::string& value) {
    std::string text = format;
    const std::size_t at = text.find("%s");
    if (at != std::string::npos) {
        text.replace(at, 2, value);
    }
    return text;
}

CUploadJob PrepareUploadJob(const CUploadProperties& properties, const CUploadWizardData& data,
                            const std::string& typedPassword) {
    CUploadJob job;
    job.account.address = properties.FtpAddress();
    job.account.username = properties.Username();
    job.account.password =
        properties.UserPassword().empty() ? typedPassword : properties.UserPassword();
    job.localFile = data.localFile;
    CUploadDescription description;
    if (BuildDescription(data, properties.Areas(), description)) {
        job.areaPath = properties.Areas().Find(data.areaName)->path;
        if (!WriteDescriptionFile(description, std::string(), job.descriptionFile)) {
            job.descriptionFile.clear();
            job.descriptionFailed = true;
        }
    }
    return job;
}

CUploadTransfer::CUploadTransfer(CUploadJob job) : m_job(std::move(job)) {}

CUploadTransfer::~CUploadTransfer() {
    if (m_connection) {
        m_connection->Close();
    }
    DeleteDescription();
}

void CUploadTransfer::Tick() {
    switch (m_state) {
    case EState::Connect:
        StepConnect();
        break;
    case EState::WaitForConnection:
        StepWaitForConnection();
        break;
    case EState::Sending:
        StepSending();
        break;
    case EState::Description:
        StepDescription();
        break;
    case EState::End:
        Finish();
        break;
    case EState::Finished:
        break;
    }
}

void CUploadTransfer::Cancel() {
    if (m_state == EState::Finished) {
        return;
    }
    m_cancelled = true;
    Finish();
}

void CUploadTransfer::StepConnect() {
    // Refused before any connection is made: nothing may land outside the login directory,
    // and a file without its description would never be found by the administrator.
    if (!BuildRemoteName(m_job.areaPath, m_job.localFile, m_remoteName)) {
        Fail(FormatStatus(TEXT_BAD_AREA_PATH, m_job.areaPath));
        return;
    }
    if (m_job.descriptionFailed) {
        Fail(TEXT_DESCRIPTION_NOT_WRITTEN);
        return;
    }
    m_connection = std::make_unique<CFtpConnection>();
    if (!m_connection->IsInitialized()) {
        Fail(TEXT_INIT_FAILED);
        return;
    }
    if (!m_connection->StartConnect(m_job.account)) {
        // An address that cannot name a server is a connection that failed.
        m_failureDetail = "the FTP address \"" + m_job.account.address + "\" names no server";
        Fail(TEXT_CONNECT_FAILED);
        return;
    }
    m_status = FormatStatus(TEXT_CONNECTING, m_job.account.address);
    m_state = EState::WaitForConnection;
}

void CUploadTransfer::StepWaitForConnection() {
    switch (m_connection->Result()) {
    case EFtpWork::Running:
        return;
    case EFtpWork::Succeeded:
        break;
    default:
        m_failureDetail = m_connection->FailureDetail();
        Fail(TEXT_CONNECT_FAILED);
        return;
    }
    if (!FileSize(m_job.localFile, m_size) ||
        !m_connection->StartSend(m_job.localFile, m_remoteName)) {
        Fail(TEXT_SEND_THREAD_FAILED);
        return;
    }
    m_sendingDescription = false;
    m_percent = 0;
    m_status = FormatStatus(TEXT_SENDING_FILE, m_job.localFile);
    m_state = EState::Sending;
}

void CUploadTransfer::StepSending() {
    m_percent = TransferPercent(m_connection->Sent(), m_size);
    switch (m_connection->Result()) {
    case EFtpWork::Running:
        return;
    case EFtpWork::Succeeded:
        break;
    default:
        m_failureDetail = m_connection->FailureDetail();
        Fail(TEXT_SEND_FAILED);
        return;
    }
    m_percent = 100;
    if (m_sendingDescription) {
        m_succeeded = true;
        m_status = TEXT_SENT;
        m_state = EState::End;
    } else {
        m_state = EState::Description;
    }
}

void CUploadTransfer::StepDescription() {
    if (m_job.descriptionFile.empty()) {
        m_succeeded = true;
        m_status = TEXT_SENT;
        m_state = EState::End;
        return;
    }
    if (!FileSize(m_job.descriptionFile, m_size) ||
        !m_connection->StartSend(m_job.descriptionFile,
                                 m_remoteName + std::string(DESC_EXTENSION))) {
        Fail(TEXT_DESCRIPTION_START_FAILED);
        return;
    }
    m_sendingDescription = true;
    m_percent = 0;
    m_status = TEXT_SENDING_DESCRIPTION;
    m_state = EState::Sending;
}

void CUploadTransfer::Fail(const std::string& text) {
    m_status = text;
    m_state = EState::End;
}

void CUploadTransfer::Finish() {
    if (m_connection) {
        m_stoppedInTime = m_connection->Close();
        m_connection.reset();
    }
    DeleteDescription();
    m_state = EState::Finished;
}

void CUploadTransfer::DeleteDescription() {
    if (!m_job.descriptionFile.empty()) {
        ::unlink(m_job.descriptionFile.c_str());
        m_job.descriptionFile.clear();
    }
}

} // namespace liftwell
