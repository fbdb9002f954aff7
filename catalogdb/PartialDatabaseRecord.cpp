#include "PartialDatabaseRecord.h"

// The recordset of a record: its SQL, field count and field exchange are the owner's, so
// fetched values land in the owner's fields.
class CPartialDatabaseRecord::CRecordRecordset : public CRecordset {
public:
    explicit CRecordRecordset(CPartialDatabaseRecord* owner)
        : CRecordset(owner->m_pManager), m_owner(owner) {
        m_nFields = static_cast<unsigned>(owner->GetFields());
    }
    std::string GetDefaultSQL() override { return m_owner->GetDefaultSQL(); }
    void DoFieldExchange(CFieldExchange* pFX) override { m_owner->DoFieldExchange(pFX); }
    unsigned GetDefaultOpenType() override { return dynaset; }

private:
    CPartialDatabaseRecord* m_owner;
};

CPartialDatabaseRecord::CPartialDatabaseRecord(CDatabaseManager* manager) : m_pManager(manager) {}

CPartialDatabaseRecord::CPartialDatabaseRecord(const CPartialDatabaseRecord& other)
    : m_pManager(other.m_pManager) {}

CPartialDatabaseRecord& CPartialDatabaseRecord::operator=(const CPartialDatabaseRecord&) {
    return *this;
}

CPartialDatabaseRecord::~CPartialDatabaseRecord() {
    Close();
}

void CPartialDatabaseRecord::LogError(const std::string& message) {
    if (m_pManager != nullptr) {
        m_pManager->LogError(message);
    }
}

template <class TWork> bool CPartialDatabaseRecord::RunLocked(TWork work) {
    CDatabaseLockGuard guard;
    try {
        work();
        return true;
    } catch (const CDBException& error) {
        LogError(error.m_strError);
        return false;
    }
}

bool CPartialDatabaseRecord::Open(const char* statement, bool keepOpen, bool requireRow) {
    CDatabaseLockGuard guard;
    m_pRecordset.reset();
    if (m_pManager == nullptr) {
        return false;
    }
    m_pRecordset = std::make_unique<CRecordRecordset>(this);
    bool result = false;
    try {
        if (!m_pRecordset->Open(CRecordset::dynaset, statement, CRecordset::none)) {
            return false; // the recordset stays attached
        }
        result = !requireRow || !m_pRecordset->IsEOF();
    } catch (const CDBException& error) {
        LogError(error.m_strError);
        if (!keepOpen) {
            m_pRecordset.reset();
        }
        return false;
    }
    if (!keepOpen) {
        m_pRecordset.reset();
    }
    return result;
}

bool CPartialDatabaseRecord::OpenForAppend() {
    CDatabaseLockGuard guard;
    m_pRecordset.reset();
    if (m_pManager == nullptr) {
        return false;
    }
    m_pRecordset = std::make_unique<CRecordRecordset>(this);
    try {
        return m_pRecordset->Open(CRecordset::dynaset, nullptr, CRecordset::appendOnly);
    } catch (const CDBException& error) {
        LogError(error.m_strError);
        m_pRecordset.reset();
        return false;
    }
}

void CPartialDatabaseRecord::Close() {
    if (m_pRecordset == nullptr) {
        return;
    }
    CDatabaseLockGuard guard;
    m_pRecordset.reset();
}

bool CPartialDatabaseRecord::IsEOF() {
    CDatabaseLockGuard guard;
    return m_pRecordset == nullptr || m_pRecordset->IsEOF();
}

bool CPartialDatabaseRecord::IsBOF() {
    CDatabaseLockGuard guard;
    return m_pRecordset == nullptr || m_pRecordset->IsBOF();
}

bool CPartialDatabaseRecord::MoveNext() {
    return m_pRecordset != nullptr && RunLocked([&] { m_pRecordset->MoveNext(); });
}

bool CPartialDatabaseRecord::MovePrev() {
    return m_pRecordset != nullptr && RunLocked([&] { m_pRecordset->MovePrev(); });
}

bool CPartialDatabaseRecord::MoveFirst() {
    return m_pRecordset != nullptr && RunLocked([&] { m_pRecordset->MoveFirst(); });
}

bool CPartialDatabaseRecord::MoveLast() {
    return m_pRecordset != nullptr && RunLocked([&] { m_pRecordset->MoveLast(); });
}

bool CPartialDatabaseRecord::SetAbsolutePosition(int32_t row) {
    // Taken like every other call: the connection may be shared with other threads.
    return m_pRecordset != nullptr && RunLocked([&] { m_pRecordset->SetAbsolutePosition(row); });
}

bool CPartialDatabaseRecord::BeginAddNew() {
    return m_pRecordset != nullptr && RunLocked([&] { m_pRecordset->AddNew(); });
}

bool CPartialDatabaseRecord::BeginEdit() {
    return m_pRecordset != nullptr && RunLocked([&] { m_pRecordset->Edit(); });
}

bool CPartialDatabaseRecord::BeginEditKeepingKey() {
    return m_pRecordset != nullptr && RunLocked([&] {
               m_pRecordset->Edit();
               m_pRecordset->SetKeyFieldsDirty(false);
           });
}

bool CPartialDatabaseRecord::StoreRow() {
    return m_pRecordset != nullptr && RunLocked([&] { m_pRecordset->Update(); });
}

void CPartialDatabaseRecord::CancelRow() {
    if (m_pRecordset != nullptr) {
        m_pRecordset->CancelUpdate();
    }
}

bool CPartialDatabaseRecord::DeleteCurrentRow() {
    return m_pRecordset != nullptr && RunLocked([&] { m_pRecordset->Delete(); });
}

void CPartialDatabaseRecord::SetFieldNull(const void* field) {
    if (m_pRecordset != nullptr) {
        RunLocked([&] { m_pRecordset->SetFieldNull(field); });
    }
}

void CPartialDatabaseRecord::SetReturnedColumn(const std::string& column) {
    if (m_pRecordset != nullptr) {
        m_pRecordset->SetReturnedColumn(column);
    }
}
