// SPDX-License-Identifier: GPL-2.0-or-later
#include "shell/startup_messages.h"

#ifndef MORVIK_SUPPORT_GROUP
#error "MORVIK_SUPPORT_GROUP (the support group number in start-up messages) is set by the build"
#endif

String MissingAssemblyMessage() {
    return String(u"错误码126，缺少dll，请将插件包中内容（包括1个dll文件和1个目录）全部复制到obs的plugins目录下，不要分开放置。\r\n如需帮助，可加讨论群：") +
           String(MORVIK_SUPPORT_GROUP);
}
