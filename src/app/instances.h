// Detection of other running instances: each instance keeps a lock file
// named after its process id in the temporary folder.
#pragma once

#include <string>

namespace kel {

class InstanceLock
{
public:
    // Creates "instance-<pid>.lock" in `folder`.
    explicit InstanceLock(std::string folder);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // True when a lock file of another live process exists. Lock files of
    // processes that have ended are removed on the way.
    bool othersRunning() const;

private:
    std::string m_folder;
    std::string m_path;
};

} // namespace kel
