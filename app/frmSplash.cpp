#include "frmSplash.h"

#include "basUtilities.h"

#include <QIcon>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

frmSplash::frmSplash(QWidget* parent) : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("frmSplash"));
  vx::app::EnsureResources();
  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("imgSplash"));
  picture->setPixmap(QIcon(QStringLiteral(":/vexilon/splash.svg")).pixmap(QSize(420, 260)));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(picture);
  timSplash_ = new QTimer(this);
  timSplash_->setObjectName(QStringLiteral("timSplash"));
  timSplash_->setInterval(2000);
  timSplash_->setSingleShot(true);
  connect(timSplash_, &QTimer::timeout, this, &QDialog::accept);
}

frmSplash::~frmSplash() = default;

void frmSplash::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  timSplash_->start();
}
