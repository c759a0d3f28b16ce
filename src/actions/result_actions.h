// The actions on one result of the list. They run on the window thread.
#pragma once

#include "text/text.h"

namespace quillmoss {

void onResultRightClick();
void onResultDoubleClick();
void sendToMagnetHandler();
void copyLink();
void playOnline();
void showDetails();

// Scheme and host of the cloud-play service, without a trailing slash.
Text cloudPlayBase();

}  // namespace quillmoss
