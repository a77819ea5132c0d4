// The program version, for the version resource and the log banner.
#pragma once

#define TIDEWAY_VERSION_COMMAS 2, 4, 1, 1
#define TIDEWAY_VERSION_TEXT "2.4.1.1"
