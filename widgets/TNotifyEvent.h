#pragma once
#include <functional>

class QObject;

namespace widgets {

// Widget notifications carry the control that raised them. Kept in a namespace because
// the serial component has a notification type of the same name taking the port; each
// widget class re-exports this one as its member type TNotifyEvent.
using TNotifyEvent = std::function<void(QObject* Sender)>;

} // namespace widgets
