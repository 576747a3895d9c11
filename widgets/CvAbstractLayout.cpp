#include "widgets/CvAbstractLayout.h"

// The base holds only the window; each placement rule is its own subclass.
