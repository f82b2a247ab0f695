// The programmer link as the layers above use it: port access and bus timing, the stop and
// pause requests, the serial register bus, the control registers IC4 and IC5, and board
// detection. Within the link each file includes only the parts it uses.
#ifndef VANTREL_LINK_HW_H
#define VANTREL_LINK_HW_H

#include "link/bus.h"
#include "link/ctrl.h"
#include "link/detect.h"
#include "link/port.h"
#include "link/stop.h"

#endif
