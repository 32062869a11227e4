#include "components/rirer2oduvo/contact_ledger.h"

#include "foundation/process_log.h"

namespace wdx::rirer {

CContact::CContact(const std::string& sName, const std::string& sNumber) {
  m_oStrName.Assign(sName.c_str());
  m_oStrNumber.Assign(sNumber.c_str());
}

CContactLedger::~CContactLedger() {
  DeleteAll();
}

bool CContactLedger::Initialize() {
  Assign(LEDGER_LOCK_NAME);
  m_iLockWaitMs = LEDGER_LOCK_WAIT_MS;
  m_bInitialized = true;
  return true;
}

bool CContactLedger::AddAddress(const std::string& sName, const std::string& sNumber) {
  ZuvLogEvent("CContactLedger::AddAddress() 1.");
  if (sName.empty()) {
    ZuvLogError(("CContactLedger::AddAddress() NAME is missing for number = " + sNumber).c_str());
    ZuvLogError("CContactLedger::AddAddress() failed.");
    return false;
  }
  if (sNumber.empty()) {
    ZuvLogError(
        ("CContactLedger::AddAddress() PHONE NUMBER is missing for name = " + sName).c_str());
    ZuvLogError("CContactLedger::AddAddress() failed.");
    return false;
  }
  if (sName.size() + 2 > ZUV_MAX_STR_LENGTH || sNumber.size() + 2 > ZUV_MAX_STR_LENGTH) {
    ZuvLogError("CContactLedger::AddAddress() NAME or PHONE NUMBER is too long.");
    ZuvLogError("CContactLedger::AddAddress() failed.");
    return false;
  }
  auto* pContact = new CContact(sName, sNumber);
  if (!m_oContacts.Push(pContact)) {
    delete pContact;
    ZuvLogError("CContactLedger::AddAddress() failed.");
    return false;
  }
  m_pCurrent = pContact;
  return true;
}

bool CContactLedger::DeleteAll() {
  while (void* pValue = m_oContacts.Pop()) delete static_cast<CContact*>(pValue);
  m_pCurrent = nullptr;
  m_bWalking = false;
  m_iWalkIndex = 0;
  return true;
}

CContact* CContactLedger::GetFirst() {
  m_bWalking = true;
  m_iWalkIndex = 0;
  m_pCurrent =
      m_oContacts.GetCount() > 0 ? static_cast<CContact*>(m_oContacts.GetPointer(0)) : nullptr;
  if (m_pCurrent == nullptr) m_bWalking = false;
  return m_pCurrent;
}

CContact* CContactLedger::GetNext() {
  if (!m_bWalking) return nullptr;
  ++m_iWalkIndex;
  m_pCurrent = m_iWalkIndex < m_oContacts.GetCount()
                   ? static_cast<CContact*>(m_oContacts.GetPointer(m_iWalkIndex))
                   : nullptr;
  if (m_pCurrent == nullptr) m_bWalking = false;
  return m_pCurrent;
}

}  // namespace wdx::rirer
