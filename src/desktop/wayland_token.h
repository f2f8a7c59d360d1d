#pragma once
// A startup token from the Wayland compositor (xdg_activation_v1), asked for
// on the user's Run press, for the started task to bring its own window
// forward with. Only where the front end is itself a Wayland client.

#include <QByteArray>

namespace desktop {

// Empty when the compositor hands out no tokens or does not answer within
// about 100 ms; the Run press's serial and the front end's focused surface go
// with the request. A new token every call.
QByteArray requestWaylandToken();

} // namespace desktop
