// The desktop window over a real gateway, offscreen: rows placed in columns, the call-sign field
// as the operator console, the configuration and lock-out windows, questions and alerts.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "WindowSession.h"
#include "ui/qt/Twips.h"

namespace velgate::testing {

namespace {

const std::string ETX = "\x03";

QMessageBox* OpenBox(qt::MainWindow& window, const QString& title) {
  for (QMessageBox* box : window.MessageBoxes())
    if (box->isVisible() && box->windowTitle() == title) return box;
  return nullptr;
}

void Click(QWidget* root, const QString& name) {
  auto* button = root->findChild<QAbstractButton*>(name);
  QVERIFY2(button != nullptr, qPrintable(name));
  button->click();
}

void Type(QWidget* root, const QString& name, const QString& text) {
  auto* field = root->findChild<QLineEdit*>(name);
  QVERIFY2(field != nullptr, qPrintable(name));
  field->setText(text);
}

void Answer(qt::MainWindow& window, const QString& title, QMessageBox::StandardButton answer) {
  QMessageBox* box = OpenBox(window, title);
  QVERIFY2(box != nullptr, qPrintable(title));
  QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
  box->button(answer)->click();
}

// The window height in pixels that is height twips.
int Pixels(QWidget& window, int twips) {
  return qt::ToPixels(twips, window.logicalDpiY());
}

std::string Placed(qt::StreamRowsView& rows, int first, int last) {
  std::string text;
  for (int s = first; s <= last; ++s) {
    const PlacedRow place = rows.Placement(s);
    text += std::to_string(s) + "@" + std::to_string(place.top) + "/" +
            std::to_string(place.column) + " ";
  }
  return text;
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase();
  void RowsStandInColumnsAndResetScreensWritesThePlaces();
  void EnterInACallSignFieldSendsItsLineAndKeepsTheText();
  void ConfigurationWindowSavesItsRowsByTheRules();
  void LockOutWindowEditsRowsAndSaveKeepsCallersLockedOutMeanwhile();
  void ClosingAsksAfterWritingAndDiscClusterAsksFirst();
  void AlertsDoNotStopTheGatewayAndABurstOpensFewBoxes();
};

QtMessageHandler qt_handler = nullptr;

void WindowTest::initTestCase() {
  // The offscreen platform says for every window that it cannot pass size hints on.
  qt_handler = qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (!message.contains("propagateSizeHints")) qt_handler(type, context, message);
      });
}

void WindowTest::RowsStandInColumnsAndResetScreensWritesThePlaces() {
  WindowSession session("", 2);  // two listeners: the first stream row is 3
  qt::MainWindow& window = *session.window;
  QCOMPARE(window.windowTitle(), QString("Velgate Version 3.02"));
  auto* box = window.findChild<QLabel*>("txtReset2");
  QVERIFY(box != nullptr);
  QVERIFY(box->toolTip().endsWith(QString(" port %1").arg(session.user_port[1])));

  window.resize(window.width(), Pixels(window, 2340));
  session.Show();
  QCOMPARE(Placed(window.Rows(), 3, 7), std::string("3@360/0 4@660/0 5@960/0 6@1260/0 7@360/1 "));
  window.resize(window.width(), Pixels(window, 1000));  // too low: a column for every row
  QCOMPARE(Placed(window.Rows(), 3, 5), std::string("3@360/1 4@360/2 5@360/3 "));
  window.showMinimized();
  window.resize(window.width(), Pixels(window, 3000));
  QCOMPARE(Placed(window.Rows(), 3, 5), std::string("3@360/1 4@360/2 5@360/3 "));

  window.ResetScreens();
  session.Show();
  QVERIFY(!window.isMinimized());
  QVERIFY2(session.File().find("\"Top\",0\r\n\"Left\",0\r\n\"Height\",4000\r\n\"Width\",4000\r\n"
                               "\"Cfg Left\",0\r\n\"Cfg Top\",0\r\n\"LockOuts Top\",0\r\n"
                               "\"LockOuts Left\",0\r\n\"LockOuts Height\",4000\r\n"
                               "\"LockOuts Width\",4000\r\n") != std::string::npos,
           session.File().c_str());
}

void WindowTest::EnterInACallSignFieldSendsItsLineAndKeepsTheText() {
  WindowSession session;
  TestPeer cluster(session.cluster_port);
  QVERIFY(session.WaitFor(
      [](Gateway& g) { return g.Link().Socket().State() == SocketState::kConnected; }));
  cluster.Send("7261");
  QVERIFY(session.WaitFor([](Gateway& g) { return g.Link().ClusterOnline(); }));

  qt::StreamRowsView& rows = session.window->Rows();
  QTest::mouseClick(rows.viewport(), Qt::LeftButton, {}, rows.CallRect(3).center());
  QVERIFY(rows.CallEditor() != nullptr);
  QTest::keyClicks(rows.CallEditor(), "G0ABC");
  QTest::keyClick(rows.CallEditor(), Qt::Key_Return);
  QVERIFY(WindowSession::Heard(cluster, "AA00^3^G0ABC\r\n" + ETX));
  QCOMPARE(rows.CallEditor()->text(), QString("G0ABC"));
  QCOMPARE(session.Run([](Gateway& g) { return g.View().Row(3).call.text; }), std::string("G0ABC"));
  // Typing sent nothing of its own: one line reached the cluster.
  QCOMPARE(cluster.Received().find("AA00"), cluster.Received().rfind("AA00"));
}

void WindowTest::ConfigurationWindowSavesItsRowsByTheRules() {
  WindowSession session;
  qt::MainWindow& window = *session.window;
  const auto open = [&] {
    window.OpenConfig();
    session.Show();
    return window.Config();
  };
  // The bridge label follows its check box; Exit after adding rows changes nothing.
  qt::ConfigWindow* config = open();
  QVERIFY(config != nullptr);
  auto* bridge_label = config->findChild<QLabel*>("lblCfg5");
  QVERIFY(!bridge_label->isEnabled());
  Click(config, "chkAGW");
  QVERIFY(bridge_label->isEnabled());
  const std::string before = session.File();
  for (int i = 0; i < 3; ++i) Click(config, "cmdCluster0");
  QCOMPARE(config->RowCount(), 4);
  Click(config, "cmdCluster2");
  QTRY_VERIFY(window.Config() == nullptr);
  QCOMPARE(session.File(), before);
  QCOMPARE(session.CurrentSettings().AGWEnabled, 0);

  // A row equal to the bridge port is kept in memory but not written.
  config = open();
  Click(config, "cmdCluster0");
  Type(config, "txtUserPort2", "9002");
  Click(config, "cmdCluster1");
  QTRY_VERIFY(OpenBox(window, "Restart?") != nullptr);
  QVERIFY(window.Config() != nullptr && window.Config() != config);  // reopened
  QCOMPARE(session.CurrentSettings().UserPort(2), std::string("9002"));
  QVERIFY(session.File().find("\"UserPort\",\"9002\"") == std::string::npos);
  OpenBox(window, "Restart?")->close();

  // A cluster port that is no number ends the Save: logged, nothing written, no reopening.
  config = window.Config();
  Type(config, "txtClusterPort", "port");
  const std::string saved = session.File();
  Click(config, "cmdCluster1");
  session.Show();
  QCOMPARE(window.Config(), config);
  QCOMPARE(session.File(), saved);
  QVERIFY(session.folder.Read("error.log").value_or("").find("cmdCluster 1") != std::string::npos);

  // Every row emptied: no user-port record at all.
  Type(config, "txtClusterPort", QString::number(session.cluster_port));
  Click(config, "cmdDel1");
  QVERIFY(config->findChild<QLineEdit*>("txtUserPort1")->text().isEmpty());
  Click(config, "cmdCluster1");
  session.Show();
  QVERIFY(session.File().find("UserPort") == std::string::npos);
}

void WindowTest::LockOutWindowEditsRowsAndSaveKeepsCallersLockedOutMeanwhile() {
  WindowSession session(
      "\"Locked Out\",\"192.0.2.7\"\r\n\"Locked Out\",\"10.0.0.1\"\r\n"
      "\"Locked Out\",\"198.51.100.0\"\r\n");
  qt::MainWindow& window = *session.window;
  const auto rows = [&] {
    QStringList texts;
    for (int i = 1; i <= window.LockOuts()->RowCount(); ++i) texts << window.LockOuts()->RowText(i);
    return texts.join(",");
  };
  const auto add = [&](const QString& text) {
    Type(window.LockOuts(), "txtCall", text);
    Click(window.LockOuts(), "cmdLockOuts0");
  };
  const auto save = [&] {
    Click(window.LockOuts(), "cmdLockOuts1");
    session.Show();
  };
  window.OpenLockOuts();
  session.Show();
  QVERIFY(window.LockOuts() != nullptr);
  QCOMPARE(rows(), QString("192.0.2.7,10.0.0.1,198.51.100.0"));  // list order, unsorted
  save();
  QVERIFY(session.File().find("\"192.0.2.7\"\r\n\"Locked Out\",\"10.0.0.1\"\r\n\"Locked Out\","
                              "\"198.51.100.0\"") != std::string::npos);
  add("");
  QCOMPARE(window.LockOuts()->RowCount(), 3);
  add("10.1.");
  QCOMPARE(rows(), QString("10.0.0.1,10.1.,192.0.2.7,198.51.100.0"));

  // A caller refused while the window is open is locked out, and the Save keeps it.
  TestPeer cluster(session.cluster_port);
  QVERIFY(session.WaitFor(
      [](Gateway& g) { return g.Link().Socket().State() == SocketState::kConnected; }));
  cluster.Send("7261");
  QVERIFY(session.WaitFor([](Gateway& g) { return g.Link().ClusterOnline(); }));
  TestPeer caller(session.user_port[0], "127.0.0.9");
  QVERIFY(WindowSession::Heard(cluster, "127.0.0.9"));
  caller.Send("GET / HTTP/1.0\r\n");
  QVERIFY(session.WaitFor([](Gateway& g) { return g.CurrentSettings().LockOutCount == 4; }));

  Click(window.LockOuts(), "cmdDel2");
  add("203.0.113.");
  QCOMPARE(rows(), QString(",10.0.0.1,192.0.2.7,198.51.100.0,203.0.113."));
  save();
  QCOMPARE(rows(), QString("10.0.0.1,192.0.2.7,198.51.100.0,203.0.113.,127.0.0.9"));

  // Exit after deletions: the list stays, the window's new place is written.
  Click(window.LockOuts(), "cmdDel1");
  window.LockOuts()->move(Pixels(window, 600), Pixels(window, 450));
  Click(window.LockOuts(), "cmdLockOuts2");
  session.Show();
  QTRY_VERIFY(window.LockOuts() == nullptr);
  QCOMPARE(session.CurrentSettings().LockOutCount, 5);
  QVERIFY2(
      session.File().find("\"LockOuts Top\",450\r\n\"LockOuts Left\",600\r\n") != std::string::npos,
      session.File().c_str());

  // Every row deleted and saved: no record, no row, and Add makes row 1.
  window.OpenLockOuts();
  session.Show();
  for (int i = 1; i <= 5; ++i) Click(window.LockOuts(), QString("cmdDel%1").arg(i));
  save();
  QCOMPARE(window.LockOuts()->RowCount(), 0);
  QVERIFY(session.File().find("Locked Out") == std::string::npos);
  add("203.0.113.");
  QCOMPARE(rows(), QString("203.0.113."));
}

void WindowTest::ClosingAsksAfterWritingAndDiscClusterAsksFirst() {
  WindowSession session;
  qt::MainWindow& window = *session.window;
  TestPeer cluster(session.cluster_port);
  QVERIFY(session.WaitFor(
      [](Gateway& g) { return g.Link().Socket().State() == SocketState::kConnected; }));

  Click(&window, "Command1");
  Answer(window, "Disconnect?", QMessageBox::No);
  session.Show();
  QVERIFY(
      session.Run([](Gateway& g) { return g.Link().Socket().State() == SocketState::kConnected; }));
  Click(&window, "Command1");
  Answer(window, "Disconnect?", QMessageBox::Yes);
  QVERIFY(session.WaitFor([&](Gateway&) { return cluster.Pump(), cluster.Closed(); }));

  // Closing writes the settings (the window's new place) before it asks; No keeps running.
  window.move(Pixels(window, 900), Pixels(window, 300));
  window.close();
  session.Show();
  QCOMPARE(OpenBox(window, "Cluster Telnet Connections")->text(),
           QString("Do you really want to end program? "));
  QVERIFY(session.File().find("\"Top\",300\r\n\"Left\",900\r\n") != std::string::npos);
  Answer(window, "Cluster Telnet Connections", QMessageBox::No);
  session.Show();
  QVERIFY(!session.Run([](Gateway& g) { return g.IsShutDown(); }));
  window.close();
  session.Show();
  Answer(window, "Cluster Telnet Connections", QMessageBox::Yes);
  QVERIFY(session.WaitFor([](Gateway& g) { return g.IsShutDown(); }));
}

void WindowTest::AlertsDoNotStopTheGatewayAndABurstOpensFewBoxes() {
  WindowSession session("\"Locked Out\",\"\"\r\n");
  qt::MainWindow& window = *session.window;
  session.Run([](Gateway& g) {
    for (int i = 0; i < 300; ++i) g.View().Alert("Velgate", "error.log cannot be written");
  });
  session.Show();
  int open = 0;
  for (QMessageBox* box : window.MessageBoxes()) {
    if (!box->isVisible()) continue;
    ++open;
    QVERIFY(!box->isModal());
  }
  QVERIFY2(open >= 1 && open <= 10, qPrintable(QString::number(open)));
  QVERIFY(!session.Run([](Gateway& g) { return g.IsShutDown(); }));

  // The lock-out window says what an empty entry does.
  window.OpenLockOuts();
  session.Show();
  QVERIFY(window.LockOuts()->findChild<QLabel*>("lblWarning")->isVisible());
}

}  // namespace velgate::testing

QTEST_MAIN(velgate::testing::WindowTest)
#include "WindowTest.moc"
