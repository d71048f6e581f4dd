#include "liveview/live_viewer_ctrl.h"

#include <QLabel>

namespace calidra {

void CLiveViewerCtrl::setPeopleToday(int people, int alarms) {
    peopleToday_->setText(tr("People today: %1 · Alarms: %2").arg(people).arg(alarms));
}

} // namespace calidra
