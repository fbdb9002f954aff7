#include "GenerationWorker.h"

CGenerationWorker::CGenerationWorker(EnvironmentFactory factory) : m_factory(std::move(factory)) {}

CGenerationWorker::~CGenerationWorker() {
    if (m_thread.joinable()) {
        m_stop.Set();
        m_thread.join();
    }
}

bool CGenerationWorker::Start(const CGenerationSettings& settings, IStatusWindow& window) {
    if (m_thread.joinable()) {
        return false;
    }
    m_stop.Reset();
    m_environment = m_factory();
    m_run = std::make_unique<CGenerationRun>(settings, *m_environment, window, m_stop);
    m_thread = std::thread([run = m_run.get()] { run->Run(); });
    return true;
}

void CGenerationWorker::Join() {
    if (!m_thread.joinable()) {
        return;
    }
    m_thread.join();
    m_startStamp = m_run->GetStartStamp();
    m_filesProcessed = m_run->GetFilesProcessed();
    m_error = m_run->HasError();
    m_run.reset();
    m_environment.reset();
}
