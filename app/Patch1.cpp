// SCAFFOLD: construction, start-up, language, About.
#include "app/Patch1.hpp"

TForm1::TForm1(int, std::unique_ptr<vips::app::WindowServices> services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)) {}
TForm1::~TForm1() = default;
void TForm1::FormCreate() {}
void TForm1::BitBtn1Click() {}
void TForm1::SpeedButton1Click() {}
void TForm1::SpeedButton2Click() {}
