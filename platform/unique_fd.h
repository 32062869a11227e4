// CUniqueFd: sole owner of one file descriptor, closed when the object goes. Move-only.
//
// Threading: one object is used by one thread at a time.
#pragma once

#include <unistd.h>

#include <utility>

namespace wdx {

class CUniqueFd final {
 public:
  CUniqueFd() = default;
  explicit CUniqueFd(int iFd) : m_iFd(iFd) {}
  ~CUniqueFd() { Reset(); }
  CUniqueFd(const CUniqueFd&) = delete;
  CUniqueFd& operator=(const CUniqueFd&) = delete;
  CUniqueFd(CUniqueFd&& oOther) noexcept : m_iFd(oOther.Release()) {}
  CUniqueFd& operator=(CUniqueFd&& oOther) noexcept {
    if (this != &oOther) Reset(oOther.Release());
    return *this;
  }

  int Get() const { return m_iFd; }
  bool IsValid() const { return m_iFd >= 0; }
  // Gives up ownership without closing.
  int Release() { return std::exchange(m_iFd, -1); }
  // Closes the held descriptor (if any) and takes iFd.
  void Reset(int iFd = -1) {
    if (m_iFd >= 0) ::close(m_iFd);
    m_iFd = iFd;
  }

 private:
  int m_iFd = -1;
};

}  // namespace wdx
