#include "ui/CvTaskAbout.h"

#include "ui/CAboutForm.h"

CvTaskAbout::CvTaskAbout() : CvTaskWindowed("CvTaskAbout") {
    SetWindow(new CAboutForm);
}
