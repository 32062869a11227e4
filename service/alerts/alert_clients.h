// The clients of the alert and guard components as the GO loop calls them: CInsurer
// (insurer.h) arms and disarms the hang guard around each cycle and restart, CEmailer
// (emailer.h) mails the up, down and remote-URL alerts, CPhoner (phoner.h) phones them.
#pragma once

#include "service/alerts/emailer.h"
#include "service/alerts/insurer.h"
#include "service/alerts/phoner.h"
