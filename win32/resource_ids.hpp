#pragma once

// Resource numbers shared by the resource script and the window.
#define IDI_ICON1 1
#define IDI_GO 101
#define IDI_GO_DISABLED 102
#define IDI_HELP 103
#define IDI_HELP_DISABLED 104
#define IDI_RETRY 105
#define IDI_RETRY_DISABLED 106
#define IDI_FLAG_UK 107
#define IDI_FLAG_UK_DISABLED 108
#define IDI_FLAG_RU 109
#define IDI_FLAG_RU_DISABLED 110
