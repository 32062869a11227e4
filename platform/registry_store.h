// The registry store: keys (paths such as "HKCR\AppID\{...}") holding named string values; the
// value named "" is the key's default value. One small JSON file, rewritten atomically (write,
// fsync, rename) under the named lock "WardenixRegistry", with mode 0600 in a folder of mode
// 0700. Location: WDX_REGISTRY when set, else /var/lib/wardenix/registry.
//
// Key paths are compared without regard to letter case, as the keys they stand for were;
// they are stored as first written. A key exists once created, with or without values; keys
// are not nested objects: "A\B" is a subkey of "A" by its name only.
//
// A damaged store file is never overwritten: reads fail with EBADMSG and writes are refused,
// so that an operator can repair or remove it.
//
// Threading: each change is one read and write of the file under the lock; a read needs no lock
// (the file is only ever replaced whole). Safe from any thread and any process; one object
// keeps the last error code of the last call made through it.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace wdx {

class IRegistryStore {
 public:
  virtual ~IRegistryStore() = default;

  virtual bool KeyExists(const std::string& sKey) = 0;
  virtual bool CreateKey(const std::string& sKey) = 0;
  // Deletes the key, its values and every key below it ("sKey\..."). True when it is gone.
  virtual bool DeleteKey(const std::string& sKey) = 0;
  // False (and error ENOENT) when the key or the value does not exist.
  virtual bool GetValue(const std::string& sKey, const std::string& sName, std::string& sValue) = 0;
  // Creates the key when needed.
  virtual bool SetValue(const std::string& sKey, const std::string& sName,
                        const std::string& sValue) = 0;
  // True when the value is gone afterwards (also when it never existed).
  virtual bool DeleteValue(const std::string& sKey, const std::string& sName) = 0;
  // Names of the keys directly below sKey (their last path element).
  virtual bool ListSubKeys(const std::string& sKey, std::vector<std::string>& oNames) = 0;
  // Errno-style code of the last failure (ENOENT: no such key or value; EACCES; EBADMSG).
  virtual int GetLastErrorCode() const = 0;
};

// The store at WDX_REGISTRY or the default path.
std::unique_ptr<IRegistryStore> OpenRegistryStore();
// The store at an explicit path (tests, tools).
std::unique_ptr<IRegistryStore> OpenRegistryStoreAt(const std::string& sPath);
std::string GetRegistryStorePath();

}  // namespace wdx
