#pragma once
// The operations every record class shares, written once over the record type: a
// temporary record of the same class on the same manager finds this record's row by its
// key and adds, changes or deletes it, all under DatabaseLock so no other thread of the
// process comes between the query and the change.

#include "PartialDatabaseRecord.h"

template <class TRecord> class CDatabaseRecord : public CPartialDatabaseRecord {
public:
    using CPartialDatabaseRecord::CPartialDatabaseRecord;

    // Stores this record as a new row unless a row with its key exists.
    virtual bool Add();
    // Writes every field but the key into the row with this record's key.
    virtual bool Update();
    // Deletes the row with this record's key.
    virtual bool Delete();
    // Opens the query selecting the row whose key `key` holds.
    virtual bool GetByPrimaryKey(const TRecord& key, bool keepOpen, bool requireRow) = 0;

private:
    const TRecord& Self() const { return static_cast<const TRecord&>(*this); }
};

template <class TRecord> bool CDatabaseRecord<TRecord>::Add() {
    CDatabaseLockGuard guard;
    TRecord found(m_pManager);
    if (!found.GetByPrimaryKey(Self(), true, false) || !found.IsEOF()) {
        return false; // the query failed, or the row exists
    }
    if (!found.BeginAddNew()) {
        return false;
    }
    found = Self();
    return found.StoreRow();
}

template <class TRecord> bool CDatabaseRecord<TRecord>::Update() {
    CDatabaseLockGuard guard;
    TRecord found(m_pManager);
    if (!found.GetByPrimaryKey(Self(), true, true) || !found.BeginEditKeepingKey()) {
        return false;
    }
    found = Self();
    return found.StoreRow();
}

template <class TRecord> bool CDatabaseRecord<TRecord>::Delete() {
    CDatabaseLockGuard guard;
    TRecord found(m_pManager);
    return found.GetByPrimaryKey(Self(), true, true) && found.DeleteCurrentRow();
}
