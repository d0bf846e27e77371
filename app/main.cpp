#include "basMain.h"

int main(int argc, char** argv) { return vx::app::Main(argc, argv); }
