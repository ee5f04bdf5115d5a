#pragma once
// A new folder built beside its final place under a hidden name and moved there only when it is
// complete, so that a failed or aborted export leaves nothing that looks like a bag. The final
// name must not exist: nothing there is replaced or written into.
#include <string>

namespace vendrask {

class TBagStaging {
public:
    // target is made absolute. Throws EOlvex when target exists, when its parent folder does not,
    // or when the folder beside it cannot be made.
    explicit TBagStaging(const std::string& target);
    TBagStaging(const TBagStaging&) = delete;
    TBagStaging& operator=(const TBagStaging&) = delete;
    // Removes the folder being built, with everything in it, unless it was placed.
    ~TBagStaging();

    // The folder being built (".NAME.vrexport-XXXXXX" beside the target).
    const std::string& Dir() const { return FDir; }
    const std::string& Target() const { return FTarget; }

    // Gives the folder its final name, never in place of something that appeared there
    // meanwhile. Throws EOlvex.
    void Place();

private:
    std::string FTarget;
    std::string FDir;
    bool FPlaced = false;
};

// German: why a target that exists is refused.
std::string ExistingTargetRefusal(const std::string& target);

}  // namespace vendrask
