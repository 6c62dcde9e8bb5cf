#pragma once
#include <functional>

class QObject;

// Widget notifications carry the control that raised them.
using TNotifyEvent = std::function<void(QObject* Sender)>;
