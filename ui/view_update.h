#pragma once
// Holds a view's repaint back while it lives, whatever happens meanwhile.
#include "host/widgets/tvt_vr_list.h"

namespace vendrask {

class TViewUpdate {
public:
    explicit TViewUpdate(tavik::TVTVRList& view) : FView(view) { FView.BeginUpdate(); }
    ~TViewUpdate() { FView.EndUpdate(); }
    TViewUpdate(const TViewUpdate&) = delete;
    TViewUpdate& operator=(const TViewUpdate&) = delete;

private:
    tavik::TVTVRList& FView;
};

}  // namespace vendrask
