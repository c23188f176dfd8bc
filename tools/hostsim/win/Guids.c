/* Instantiates the interface ids declared by the generated office header. */
#include <initguid.h>
#include "tools/hostsim/OfficeHost_h.h"
