// The module's filters: the single place where each filter's name, CLSID,
// creator and registration data meet. Table order is the registration order.
#pragma once

#include "framework/CFactoryTemplate.h"

extern const CFactoryTemplate g_Templates[];
extern const int g_cTemplates;
