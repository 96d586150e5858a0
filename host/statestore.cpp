// The state slots' store: filled by the host, null until then.
#include "host/statestore.h"

StateStoreOps stateStore;
