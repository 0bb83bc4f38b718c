// Resource ids of the shell.
#pragma once

#define IDI_TARNWICK 1
