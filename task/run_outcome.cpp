#include "task/run_outcome.h"

namespace vendrask {

bool FateOfDeletion(const tavik::TDeleteResult& result, TFileFate& fate) {
    switch (result.Outcome) {
        case tavik::TDeleteOutcome::Missing: return false;
        case tavik::TDeleteOutcome::Deleted: fate = TFileFate::Deleted; break;
        case tavik::TDeleteOutcome::Changed: fate = TFileFate::KeptChanged; break;
        case tavik::TDeleteOutcome::ReadOnly: fate = TFileFate::KeptReadOnly; break;
        case tavik::TDeleteOutcome::NoRights: fate = TFileFate::KeptNoRights; break;
        case tavik::TDeleteOutcome::NotRegular:
        case tavik::TDeleteOutcome::Failed: fate = TFileFate::KeptOther; break;
    }
    return true;
}

}  // namespace vendrask
