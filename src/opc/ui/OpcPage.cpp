#include "opc/ui/OpcPage.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTextCursor>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "forms/JobRunner.h"
#include "forms/UiServices.h"
#include "forms/Workspace.h"
#include "opc/OpcClient.h"
#include "opc/UaOpcClient.h"
#include "opc/ua/UaSessionSecurity.h"
#include "opc/ui/RadioGroup.h"
#include "opc/ui/SelectOpcItemDialog.h"

namespace {

constexpr int TableRows = 20;
constexpr int KeepAliveMs = 2000;
constexpr int ColumnWidth = 250;
constexpr int HeaderHeight = 22;
constexpr int RowHeight = 20;
constexpr int TableTop = 62;
constexpr int TableLeft = 204;
// Of an item ID cell marked as not writable: the ID it was marked for.
constexpr int MarkedItemRole = Qt::UserRole + 1;

struct SignalName {
  int Row;
  const char* Caption;
};
// The radio buttons beside the table, RadioButton1 .. RadioButton18 in order.
constexpr SignalName SignalNames[] = {
    {0, "Manip. signal 1 (ventil, ref):"}, {1, "Manip. signal 2 (ventil, ref):"},
    {2, "Izhod reg. 1 (ventil, ...):"},    {3, "Izhod reg. 2 (ventil, ...):"},
    {4, "Meritev 1 (temperatura, ...):"},  {5, "Meritev 2 (temperatura, ...):"},
    {7, "P člen"},  {8, "I člen"},  {9, "D člen"},  {10, "R/A"},  {11, "Ročno"},  {12, "Avtomatsko"},
    {14, "P člen"}, {15, "I člen"}, {16, "D člen"}, {17, "R/A"}, {18, "Ročno"}, {19, "Avtomatsko"}};

int RowTop(int row) { return TableTop + 1 + HeaderHeight + row * RowHeight; }

QString NotWritableText(const QString& itemId, const QString& signal) {
  return QString::fromUtf8("Element »%1« ni zapisljiv: program vanj piše »%2«.")
      .arg(itemId, signal);
}

// The rows whose items the program writes, their IDs, and what the server says of them.
struct WrittenItems {
  std::vector<int> Rows;
  std::vector<std::string> Ids;
  std::vector<OpcItemFacts> Facts;
};

}  // namespace

// What a connect under way shares with its job, which may outlive the page's handler.
struct OpcPage::Connecting {
  WrittenItems Written;
  std::optional<OpcServerState> State;
  std::atomic<bool> GivenUp = false;  // "Prekliči": a question the connect waits on ends
  // "Poveži znova" after a lost link: made again as a run makes it (its security and user,
  // no question, the lost session closed); a plain connect when that cannot be.
  bool Again = false;
  bool MadeAgain = false;
};

namespace {

// What the server says of the items; nothing when it will not say (the connect stands).
std::vector<OpcItemFacts> DescribeWrittenItems(OpcClient& client,
                                               const std::vector<std::string>& ids) {
  if (ids.empty()) return {};
  try {
    return client.DescribeItems(ids);
  } catch (const std::exception&) {
    return {};
  }
}

QLabel* Heading(const char* text, int y, QWidget* parent) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  label->setGeometry(8, y, 200, RowHeight);
  return label;
}

QComboBox* ManualValueList(const char* name, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->addItems({QStringLiteral("0"), QStringLiteral("1")});
  return box;
}

// The server state as Label54 shows it after connecting ("teče" lets no second connect be
// started) and after the link ended ("ustavljen").
const char* const RunningText = "teče";
const char* const StoppedText = "ustavljen";
QString StateText(OpcServerState state) {
  switch (state) {
    case OpcServerState::Running:
      return QString::fromUtf8(RunningText);
    case OpcServerState::Failed:
      return QStringLiteral("v napaki");
    case OpcServerState::NoConfig:
      return QStringLiteral("brez nastavitev");
    case OpcServerState::Suspended:
      return QStringLiteral("začasno ustavljen");
    case OpcServerState::Test:
      return QStringLiteral("v preizkusu");
    default: return {};
  }
}

}  // namespace

OpcPage::OpcPage(Workspace& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("TabSheet_OPC"));

  auto* server = new QGroupBox(QStringLiteral("OPC strežnik"), this);
  server->setObjectName(QStringLiteral("GroupBox_Server"));
  server->setGeometry(8, 4, 873, 50);
  auto* chooseLabel = new QLabel(QStringLiteral("Izberi strežnik: "), server);
  chooseLabel->setGeometry(10, 20, 100, 21);
  ComboBox2 = new QComboBox(server);
  ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
  ComboBox2->setGeometry(110, 19, 200, 23);
  // The engineer may type the address of an OPC UA server (opc.tcp://host:port).
  ComboBox2->setEditable(true);
  ComboBox2->setInsertPolicy(QComboBox::NoInsert);
  // What the engineer types is what "Poveži" connects to: never completed to another entry.
  ComboBox2->setCompleter(nullptr);
  PoveziOPCStreznik = new QPushButton(QStringLiteral("Poveži"), server);
  PoveziOPCStreznik->setObjectName(QStringLiteral("PoveziOPCStreznik"));
  auto* securityLabel = new QLabel(QStringLiteral("Varnost:"), server);
  securityLabel->setGeometry(318, 20, 55, 21);
  VarnostComboBox = new QComboBox(server);
  VarnostComboBox->setObjectName(QStringLiteral("VarnostComboBox"));
  VarnostComboBox->addItems({QStringLiteral("samodejno"), QStringLiteral("brez"), QStringLiteral("podpis"),
                             QString::fromUtf8("podpis in šifriranje")});
  VarnostComboBox->setGeometry(373, 19, 150, 23);
  PoveziOPCStreznik->setGeometry(531, 18, 80, 25);
  PrekiniOPCStreznik = new QPushButton(QStringLiteral("Prekini"), server);
  PrekiniOPCStreznik->setObjectName(QStringLiteral("PrekiniOPCStreznik"));
  PrekiniOPCStreznik->setGeometry(616, 18, 80, 25);
  PrekliciPovezovanje = new QPushButton(QString::fromUtf8("Prekliči"), server);
  PrekliciPovezovanje->setObjectName(QStringLiteral("PrekliciPovezovanje"));
  PrekliciPovezovanje->setGeometry(616, 18, 80, 25);
  PrekliciPovezovanje->hide();
  auto* statusLabel = new QLabel(QStringLiteral("Stanje:"), server);
  statusLabel->setGeometry(706, 20, 45, 21);
  Label54 = new QLabel(server);
  Label54->setObjectName(QStringLiteral("Label54"));
  Label54->setGeometry(751, 20, 115, 21);

  // The signal names beside the table rows, with the headings of the three groups.
  Heading("Procesni signali", TableTop + 1, this);
  Heading("Parametri regulatorja", RowTop(6), this);
  Heading("Parametri zunanjega reg.", RowTop(13), this);
  signalButtons_ = new QButtonGroup(this);
  for (int n = 1; n <= 18; ++n) {
    const SignalName& s = SignalNames[n - 1];
    auto* button = new QRadioButton(QString::fromUtf8(s.Caption), this);
    button->setObjectName(QStringLiteral("RadioButton%1").arg(n));
    button->setGeometry(s.Row < 6 ? 8 : 20, RowTop(s.Row), 190, RowHeight);
    signalButtons_->addButton(button, n);
    radioButtons_[n] = button;
    // The engineer's click on a signal makes its row the target of the next pick.
    connect(button, &QRadioButton::clicked, this, [this, row = s.Row] { targetRow_ = row; });
  }
  QRadioButton** named[] = {nullptr,         &RadioButton1,  &RadioButton2,  &RadioButton3,
                            &RadioButton4,   &RadioButton5,  &RadioButton6,  &RadioButton7,
                            &RadioButton8,   &RadioButton9,  &RadioButton10, &RadioButton11,
                            &RadioButton12,  &RadioButton13, &RadioButton14, &RadioButton15,
                            &RadioButton16,  &RadioButton17, &RadioButton18};
  for (int n = 1; n <= 18; ++n) *named[n] = radioButtons_[n];
  RadioButton2->setEnabled(false);
  RadioButton4->setEnabled(false);
  RadioButton10->setEnabled(false);
  RadioButton16->setEnabled(false);

  OPCTabela = new QTableWidget(TableRows, 2, this);
  OPCTabela->setObjectName(QStringLiteral("OPCTabela"));
  OPCTabela->setHorizontalHeaderLabels(
      {QString::fromUtf8("Oznaka OPC točke"), QStringLiteral("Opis")});
  OPCTabela->verticalHeader()->hide();
  OPCTabela->horizontalHeader()->setFixedHeight(HeaderHeight);
  OPCTabela->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  OPCTabela->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  OPCTabela->verticalHeader()->setDefaultSectionSize(RowHeight);
  for (int c = 0; c < 2; ++c) OPCTabela->setColumnWidth(c, ColumnWidth);
  for (int r = 0; r < TableRows; ++r)
    for (int c = 0; c < 2; ++c) OPCTabela->setItem(r, c, new QTableWidgetItem);
  OPCTabela->setSelectionMode(QAbstractItemView::SingleSelection);
  OPCTabela->setSelectionBehavior(QAbstractItemView::SelectItems);
  // A double click picks an item; typing or a second click edits the cell.
  OPCTabela->setEditTriggers(QAbstractItemView::SelectedClicked |
                             QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
  OPCTabela->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  OPCTabela->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  OPCTabela->setGeometry(TableLeft, TableTop, 2 * ColumnWidth + 2,
                         HeaderHeight + TableRows * RowHeight + 2);
  connect(OPCTabela, &QTableWidget::currentCellChanged, this,
          [this](int row, int column, int, int) { OPCTabelaSelectCell(row, column); });
  OPCTabela->installEventFilter(this);
  // A mark of an item the program may not write goes with another ID in its cell.
  connect(OPCTabela, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* cell) {
    const QVariant marked = cell->data(MarkedItemRole);
    if (cell->column() == 0 && marked.isValid() && marked.toString() != cell->text())
      MarkNotWritable(cell->row(), QString());
  });
  connect(OPCTabela, &QTableWidget::cellDoubleClicked, this,
          [this](int row, int column) { OPCTabelaDblClick(row, column); });

  const int right = TableLeft + 2 * ColumnWidth + 12;
  IzberiAjtemKnof = new QPushButton(QStringLiteral("Izberi"), this);
  IzberiAjtemKnof->setObjectName(QStringLiteral("IzberiAjtemKnof"));
  IzberiAjtemKnof->setGeometry(right, RowTop(0), 90, 25);
  CertifikatProgramaKnof = new QPushButton(QStringLiteral("Certifikat programa"), this);
  CertifikatProgramaKnof->setObjectName(QStringLiteral("CertifikatProgramaKnof"));
  CertifikatProgramaKnof->setGeometry(right, RowTop(2), 150, 25);
  Button_DnevnikZapisov = new QPushButton(QStringLiteral("Dnevnik zapisov"), this);
  Button_DnevnikZapisov->setObjectName(QStringLiteral("Button_DnevnikZapisov"));
  Button_DnevnikZapisov->setToolTip(
      QStringLiteral("Odpre dnevnik vseh zapisov programa v obrat (čas, strežnik, točka, prejšnja "
                     "in nova vrednost, kdo je zapis zahteval, izid)."));
  Button_DnevnikZapisov->setGeometry(right, RowTop(4), 150, 25);

  const QStringList raItems{QStringLiteral("R/A"), QString::fromUtf8("Ročno + Avtomatsko")};
  RadioGroup4 = new RadioGroup(QStringLiteral("R/A preklop"), raItems, this);
  RadioGroup4->setObjectName(QStringLiteral("RadioGroup4"));
  RadioGroup4->setGeometry(right, RowTop(7), 168, 62);
  Label14 = new QLabel(QString::fromUtf8("Ročno:"), this);
  Label14->setObjectName(QStringLiteral("Label14"));
  Label14->setGeometry(right, RowTop(10) + 2, 50, 21);
  ComboBox3 = ManualValueList("ComboBox3", this);
  ComboBox3->setGeometry(right + 55, RowTop(10), 60, 23);
  RadioGroup5 = new RadioGroup(QStringLiteral("R/A preklop"), raItems, this);
  RadioGroup5->setObjectName(QStringLiteral("RadioGroup5"));
  RadioGroup5->setGeometry(right, RowTop(14), 168, 62);
  Label15 = new QLabel(QString::fromUtf8("Ročno:"), this);
  Label15->setObjectName(QStringLiteral("Label15"));
  Label15->setGeometry(right, RowTop(17) + 2, 50, 21);
  ComboBox4 = ManualValueList("ComboBox4", this);
  ComboBox4->setGeometry(right + 55, RowTop(17), 60, 23);
  connect(RadioGroup4, &RadioGroup::ItemClicked, this, &OpcPage::RadioGroup4Click);
  connect(RadioGroup5, &RadioGroup::ItemClicked, this, &OpcPage::RadioGroup5Click);
  RadioGroup4->SetItemIndex(1);
  RadioGroup5->SetItemIndex(1);

  connect(PoveziOPCStreznik, &QPushButton::clicked, this, &OpcPage::PoveziOPCStreznikClick);
  connect(PrekliciPovezovanje, &QPushButton::clicked, this, &OpcPage::PrekliciPovezovanjeClick);
  connect(PrekiniOPCStreznik, &QPushButton::clicked, this, &OpcPage::PrekiniOPCStreznikClick);
  connect(IzberiAjtemKnof, &QPushButton::clicked, this, &OpcPage::IzberiAjtemKnofClick);
  connect(Button_DnevnikZapisov, &QPushButton::clicked, this, &OpcPage::Button_DnevnikZapisovClick);
  connect(CertifikatProgramaKnof, &QPushButton::clicked, this, &OpcPage::CertifikatProgramaKnofClick);
  // A server picked from the list brings back the security chosen for it last time.
  connect(ComboBox2, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index < 0) return;
    const OpcServerChoice choice = form_.Opc().RememberedChoice(ComboBox2->itemText(index).toStdString());
    static const char* names[] = {"auto", "none", "sign", "encrypt"};
    for (int i = 0; i < 4; ++i)
      if (choice.Security == names[i]) VarnostComboBox->setCurrentIndex(i);
  });
  // A link lost under the experiment's sampler is reported on the sampler's thread: the
  // page hears of it on its own.
  form_.Opc().SetDisconnectHandler([this] {
    if (QThread::currentThread() == thread())
      dOPCServer1Disconnect();
    else
      QMetaObject::invokeMethod(
          this, [this] { dOPCServer1Disconnect(); }, Qt::QueuedConnection);
  });
  // The connection's upkeep (an OPC UA token renewed, a quiet link checked).
  auto* keepAlive = new QTimer(this);
  keepAlive->setObjectName(QStringLiteral("Timer_OpcKeepAlive"));
  connect(keepAlive, &QTimer::timeout, this, [this] { form_.Opc().KeepAlive(); });
  keepAlive->start(KeepAliveMs);
}

void OpcPage::FillServerList() {
  ComboBox2->clear();
  for (const std::string& name : form_.Opc().ListServers())
    ComboBox2->addItem(QString::fromStdString(name));
  ComboBox2->setCurrentIndex(ComboBox2->count() > 0 ? 0 : -1);
}

void OpcPage::SelectManualValuesZero() {
  ComboBox3->setCurrentIndex(0);
  ComboBox4->setCurrentIndex(0);
}

QString OpcPage::Cell(int row, int column) const {
  const QTableWidgetItem* item = OPCTabela->item(row, column);
  return item ? item->text() : QString();
}

QString OpcPage::ItemId(int row) const { return Cell(row, 0); }

QString OpcPage::Description(int row) const { return Cell(row, 1); }

int OpcPage::RaSwitchIndex() const { return RadioGroup4->ItemIndex(); }

int OpcPage::ManualValue() const { return ComboBox3->currentText().toInt(); }

int OpcPage::RowOfRadioButton(int number) {
  return number >= 1 && number <= 18 ? SignalNames[number - 1].Row : -1;
}

int OpcPage::RadioButtonOfRow(int row) {
  for (int n = 1; n <= 18; ++n)
    if (SignalNames[n - 1].Row == row) return n;
  return -1;
}

QRadioButton* OpcPage::RadioButton(int number) const {
  return number >= 1 && number <= 18 ? radioButtons_[number] : nullptr;
}

void OpcPage::SetOwnStatus(const QString& text) {
  ownStatus_ = text;
  form_.SetStatusText(text);
}

void OpcPage::ClearOwnStatus() {
  if (!ownStatus_.isEmpty() && form_.StatusText() == ownStatus_) form_.SetStatusText(QString());
  ownStatus_.clear();
}

void OpcPage::PoveziOPCStreznikClick() {
  ClearOwnStatus();
  // A connect drops the link that other plant work (a load, a connect given up that has
  // not ended) still uses: it waits for that work.
  if (Jobs().Running() > 0) {
    SetOwnStatus(QString::fromUtf8(JobRunner::BusyText()));
    return;
  }
  endedByEngineer_ = false;
  const QString server = ComboBox2->currentText().trimmed();
  static const UaSecurityChoice choices[] = {UaSecurityChoice::Auto, UaSecurityChoice::None,
                                             UaSecurityChoice::Sign, UaSecurityChoice::Encrypt};
  UaConnectOptions options;
  options.Security = choices[std::clamp(VarnostComboBox->currentIndex(), 0, 3)];
  // The questions come from the connect, which runs off the window's thread for a server
  // over the network: they are asked on the window's thread without holding it, the
  // connect's thread waiting for the answer (or for the engineer to give the connect up).
  auto connecting = std::make_shared<Connecting>();
  connecting_ = connecting;
  const auto ask = [this, connecting](std::function<void(std::function<void()>)> question) {
    if (QThread::currentThread() == thread()) {
      question([] {});
      return;
    }
    auto answered = std::make_shared<std::promise<void>>();
    std::future<void> answer = answered->get_future();
    QMetaObject::invokeMethod(
        this, [question, answered] { question([answered] { answered->set_value(); }); },
        Qt::QueuedConnection);
    while (answer.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
      if (connecting->GivenUp) throw OpcError("Povezovanje je preklicano.");
  };
  // An unknown certificate is never taken silently: the engineer sees it and decides.
  options.AskTrust = [ask](const UaCertificateSummary& c) {
    const QString text =
        QString::fromUtf8(
            "Strežnik se predstavlja s potrdilom, ki mu program še ne zaupa.\n\n"
            "Subjekt: %1\nURI aplikacije: %2\nVeljavno od: %3\nVeljavno do: %4\n"
            "Prstni odtis SHA-1: %5\n\n"
            "Prstni odtis primerjajte s tistim, ki ga navede skrbnik strežnika. Ali zaupate temu "
            "potrdilu?")
            .arg(QString::fromStdString(c.Subject), QString::fromStdString(c.ApplicationUri),
                 QString::fromStdString(c.ValidFrom), QString::fromStdString(c.ValidTo),
                 QString::fromStdString(c.Thumbprint));
    auto answer = std::make_shared<int>(2);
    ask([text, answer](std::function<void()> done) {
      Ui().AskTrustCertificateLater(text, [answer, done](int a) {
        *answer = a;
        done();
      });
    });
    switch (*answer) {
      case 0:
        return UaTrustAnswer::Always;
      case 1:
        return UaTrustAnswer::Once;
      default:
        return UaTrustAnswer::Reject;
    }
  };
  // The password is asked at each connect and kept only for it.
  options.AskLogin = [server, ask](std::string& user, std::string& password) {
    struct Login {
      bool Given = false;
      QString User, Password;
    };
    auto login = std::make_shared<Login>();
    const QString question = QString::fromUtf8("Strežnik %1 zahteva prijavo.").arg(server);
    const QString asked = QString::fromStdString(user);
    ask([question, asked, login](std::function<void()> done) {
      Ui().AskLoginLater(question, asked, [login, done](bool given, QString u, QString p) {
        *login = {given, u, p};
        done();
      });
    });
    if (!login->Given) return false;
    user = login->User.toStdString();
    password = login->Password.toStdString();
    return true;
  };
  form_.Opc().SetUaConnectOptions(options);
  connectedServer_.clear();
  const std::string name = server.toStdString();
  // The items the program writes are asked about with the connect: a read-only one is
  // marked in the table before the engineer relies on it.
  for (int row = 0; row < TableRows; ++row)
    if (!WrittenSignal(row).isEmpty() && !ItemId(row).isEmpty()) {
      connecting->Written.Rows.push_back(row);
      connecting->Written.Ids.push_back(ItemId(row).toStdString());
    }
  if (!IsUaEndpointUrl(name)) {
    form_.Opc().Connect(name, "");
    connecting->Written.Facts = DescribeWrittenItems(form_.Opc(), connecting->Written.Ids);
    Connected(server, *connecting);
    return;
  }
  // A server over the network may take up to its time-out to answer: the connect is a
  // job, the window goes on meanwhile, saying so, and "Prekliči" gives up waiting.
  Label54->setText(QString::fromUtf8("povezovanje …"));
  PoveziOPCStreznik->setEnabled(false);
  PrekiniOPCStreznik->hide();
  PrekliciPovezovanje->show();
  OpcClient* client = &form_.Opc();
  connecting->Again = PoveziOPCStreznik->text() == QString::fromUtf8("Poveži znova") &&
                      SameUaEndpoint(lostServer_.toStdString(), name);
  // The server's state read with the connect, on its thread: a server that answers the
  // connect and then stalls keeps the window waiting no more than the connect.
  connectJob_ = Jobs().Start(
      this,
      [client, name, connecting] {
        connecting->MadeAgain = connecting->Again && client->Reconnect();
        if (!connecting->MadeAgain) client->Connect(name, "");
        connecting->State = client->ServerState();
        connecting->Written.Facts = DescribeWrittenItems(*client, connecting->Written.Ids);
      },
      [this, server, connecting](std::exception_ptr error) {
        connectJob_.reset();
        PrekliciPovezovanje->hide();
        PrekiniOPCStreznik->show();
        PoveziOPCStreznik->setEnabled(true);
        // A link lost while the connect was under way was told as a loss: the state says
        // it ended and the button reads "Poveži znova", as the message that told it says.
        const bool lostMeanwhile = PoveziOPCStreznik->text() == QString::fromUtf8("Poveži znova");
        if (error) {
          if (lostMeanwhile)
            Label54->setText(QString::fromUtf8(StoppedText));
          else
            Label54->clear();
          std::rethrow_exception(error);  // the standard error box, from an idle window
        }
        if (lostMeanwhile && !form_.Opc().IsConnected()) {
          Label54->setText(QString::fromUtf8(StoppedText));
          return;
        }
        Connected(server, *connecting);
        if (connecting->MadeAgain)
          SetOwnStatus(QString::fromUtf8("Povezava s strežnikom %1 je spet vzpostavljena (nova "
                                         "seja; prejšnja je zaprta).")
                           .arg(server));
      },
      [this] {
        // The connect given up has ended: whatever it reached is let go.
        connectJob_.reset();
        if (form_.Opc().IsConnected()) {
          disconnecting_ = true;
          form_.Opc().Disconnect();
          disconnecting_ = false;
          Label54->setText(QString::fromUtf8("preklicano"));
        }
        PoveziOPCStreznik->setEnabled(true);
      });
}

void OpcPage::PrekliciPovezovanjeClick() {
  if (!connectJob_) return;
  endedByEngineer_ = true;  // whatever the connect given up reaches is let go, not lost
  JobRunner::Cancel(connectJob_);
  if (connecting_) connecting_->GivenUp = true;
  // It is cut short, not waited for: what it waits on the server for ends at once.
  disconnecting_ = true;
  form_.Opc().Disconnect();
  disconnecting_ = false;
  PrekliciPovezovanje->hide();
  PrekiniOPCStreznik->show();
  PoveziOPCStreznik->setEnabled(false);
  Label54->setText(QString::fromUtf8("preklicano"));
  // "Poveži" comes back once the connect given up has ended.
}

void OpcPage::Connected(const QString& server, const Connecting& connecting) {
  const WrittenItems& written = connecting.Written;
  for (std::size_t i = 0; i < written.Rows.size() && i < written.Facts.size(); ++i) {
    const int row = written.Rows[i];
    const bool readOnly = written.Facts[i].Access == OpcAccess::ReadOnly;
    MarkNotWritable(row, readOnly ? NotWritableText(ItemId(row), WrittenSignal(row)) : QString());
  }
  PoveziOPCStreznik->setEnabled(true);
  connectedServer_ = server;
  PoveziOPCStreznik->setText(QStringLiteral("Poveži"));
  // A server address the engineer typed joins the list once (the client remembers it),
  // and the server connected is the one selected: the settings file, the run's check and
  // the reports name the entry selected.
  int listed = -1;
  for (int i = 0; i < ComboBox2->count() && listed < 0; ++i)
    if (ComboBox2->itemText(i) == server ||
        (IsUaEndpointUrl(server.toStdString()) &&
         SameUaEndpoint(ComboBox2->itemText(i).toStdString(), server.toStdString())))
      listed = i;
  if (listed < 0) {
    ComboBox2->addItem(server);
    listed = ComboBox2->count() - 1;
  }
  {
    const QSignalBlocker quiet(ComboBox2);  // the security chosen for this connect stays
    ComboBox2->setCurrentIndex(listed);
  }
  ComboBox2->setEditText(ComboBox2->itemText(listed));
  connectedServer_ = ComboBox2->itemText(listed);
  const QString stateText =
      StateText(connecting.State ? *connecting.State : form_.Opc().ServerState());
  Label54->setText(stateText);
  if (stateText == QString::fromUtf8(RunningText)) PoveziOPCStreznik->setEnabled(false);
  form_.ServerConnected();
}

void OpcPage::Button_DnevnikZapisovClick() {
  if (writeLogPath_.isEmpty() || !QFileInfo::exists(writeLogPath_)) {
    Ui().ShowMessage(QStringLiteral("Program v obrat še ni nič zapisal; dnevnika zapisov še ni."));
    return;
  }
  if (Ui().OpenDocument(writeLogPath_)) return;
  // No viewer on this computer: the log is shown in the program, read only, newest last.
  QFile file(writeLogPath_);
  if (!file.open(QIODevice::ReadOnly)) {
    Ui().ShowMessage(
        QString::fromUtf8("Dnevnika zapisov ni mogoče brati: '%1'").arg(writeLogPath_));
    return;
  }
  QString text = QString::fromUtf8(file.readAll());
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (!logView_) {
    logView_ = new QDialog(this, Qt::Window);
    logView_->setObjectName(QStringLiteral("DnevnikZapisovDialog"));
    logView_->setWindowTitle(QStringLiteral("Dnevnik zapisov v obrat"));
    logView_->resize(900, 400);
    auto* layout = new QVBoxLayout(logView_);
    auto* view = new QPlainTextEdit(logView_);
    view->setObjectName(QStringLiteral("DnevnikZapisovText"));
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(view);
  }
  auto* view = logView_->findChild<QPlainTextEdit*>(QStringLiteral("DnevnikZapisovText"));
  view->setPlainText(text);
  view->moveCursor(QTextCursor::End);
  view->ensureCursorVisible();
  logView_->show();  // beside the window, which goes on
  logView_->raise();
}

void OpcPage::CertifikatProgramaKnofClick() {
  UaPki pki(UaPki::DefaultFolder());
  const UaOwnIdentity own = pki.Own();
  Ui().ShowMessage(QString::fromUtf8("Certifikat programa je v datoteki\n%1\n\nPrstni odtis SHA-1: %2\n\n"
                                     "Da bo strežnik sprejel varno povezavo, naj ga skrbnik strežnika "
                                     "doda na seznam zaupanja strežnika.")
                       .arg(QString::fromStdString(pki.OwnCertificatePath()),
                            QString::fromStdString(own.Certificate.ThumbprintHex())));
}

void OpcPage::PrekiniOPCStreznikClick() {
  ClearOwnStatus();
  endedByEngineer_ = true;
  disconnecting_ = true;
  form_.Opc().Disconnect();
  disconnecting_ = false;
  PoveziOPCStreznik->setEnabled(true);
}

void OpcPage::dOPCServer1Disconnect() {
  Label54->setText(QString::fromUtf8(StoppedText));
  // A link that was lost is connected again with "Poveži".
  PoveziOPCStreznik->setEnabled(true);
  // Ended by the engineer: also a loss another thread found just before, whose report
  // arrives after "Prekini", is no loss to tell.
  if (disconnecting_ || endedByEngineer_) return;
  // Lost, not ended: said at once in the status bar and, once the client's call that
  // found it has returned, in a message; "Poveži" offers the reconnect.
  const QString server = ComboBox2->currentText().trimmed();
  lostServer_ = server;
  const QString text =
      QString::fromUtf8("Povezava s strežnikom %1 je prekinjena. Za ponovno povezavo pritisnite "
                        "»Poveži znova«.")
          .arg(server);
  PoveziOPCStreznik->setText(QString::fromUtf8("Poveži znova"));
  // What a run said of the loss (where the record turned to the simulation, the controller
  // state left) stays in the status bar; the message says it here too.
  if (form_.StatusText().isEmpty() || form_.StatusText() == ownStatus_) SetOwnStatus(text);
  // A run under way tells the loss itself, with what it means for the record and the
  // controller: one notice for the one event.
  if (!form_.RunInFlight()) Ui().ShowNotice(text);
}

void OpcPage::LinkMadeAgain() {
  if (connectJob_ || !form_.Opc().IsConnected()) return;  // a connect of the engineer's tells
  OpcClient* client = &form_.Opc();
  auto state = std::make_shared<OpcServerState>(OpcServerState::Unknown);
  Jobs().Start(
      this, [client, state] { *state = client->ServerState(); },
      [this, state](std::exception_ptr) {
        // Lost again meanwhile, or ended: the tab already says so.
        if (connectJob_ || !form_.Opc().IsConnected()) return;
        lostServer_.clear();
        PoveziOPCStreznik->setText(QStringLiteral("Poveži"));
        const QString stateText = StateText(*state);
        Label54->setText(stateText);
        PoveziOPCStreznik->setEnabled(stateText != QString::fromUtf8(RunningText));
        // The loss's own text in the status bar gives way; a run's findings stay.
        if (form_.StatusText().isEmpty() || form_.StatusText() == ownStatus_)
          SetOwnStatus(QString::fromUtf8("Povezava s strežnikom %1 je spet vzpostavljena (nova "
                                         "seja; prejšnja je zaprta).")
                           .arg(ComboBox2->currentText().trimmed()));
      });
}

bool OpcPage::eventFilter(QObject* watched, QEvent* event) {
  // Delete (or Backspace) on the table empties the selected cells; while a cell is being
  // edited its editor has the keys.
  if (watched == OPCTabela && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
      for (QTableWidgetItem* item : OPCTabela->selectedItems()) item->setText(QString());
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

QString OpcPage::PickRefusal(int row) const {
  if (row < 0)
    return QString::fromUtf8("Izberite vrstico tabele OPC ali signal, za katerega naj se vpiše točka.");
  const int n = RadioButtonOfRow(row);
  if (n < 0)
    return QString::fromUtf8("Vrstica ob naslovu skupine ne sprejme OPC točke; točka ni bila vpisana.");
  QString caption = radioButtons_[n]->text();
  if (caption.endsWith(u':')) caption.chop(1);
  if (n == 2 || n == 4)
    return QString::fromUtf8("Signal »%1« se ne uporablja; točka ni bila vpisana.").arg(caption);
  if (!radioButtons_[n]->isEnabled())
    return QString::fromUtf8("Pri izbrani nastavitvi »R/A preklop« se točka »%1« ne uporablja; točka ni "
                             "bila vpisana.")
        .arg(caption);
  return {};
}

void OpcPage::IzberiAjtemKnofClick() {
  ClearOwnStatus();
  if (!form_.Opc().IsConnected()) {
    SetOwnStatus(QString::fromUtf8("Za izbiro točke se najprej povežite s strežnikom OPC."));
    return;
  }
  // The pick lands only in the row the engineer chose last (a cell or a signal), and
  // only when that row can take an item; never in a row chosen before.
  const int row = targetRow_;
  const QString refusal = PickRefusal(row);
  if (!refusal.isEmpty()) {
    SetOwnStatus(refusal);
    return;
  }
  ItemBrowserRequest request;
  request.Place = &browserPlaces_[UaEndpointKey(connectedServer_.toStdString())];
  request.WrittenSignal = WrittenSignal(row);
  const QString signal = request.WrittenSignal;
  SelectOpcItemDialog::Browse(
      form_.Opc(), this, request, [this, row, signal](const QStringList& chosen, bool notWritable) {
        OPCTabela->item(row, 0)->setText(chosen.first());
        const QString note = notWritable ? NotWritableText(chosen.first(), signal) : QString();
        MarkNotWritable(row, note);
        if (!note.isEmpty()) SetOwnStatus(note);
      });
}

QString OpcPage::WrittenSignal(int row) const {
  if (row == 0) return QStringLiteral("MV");
  // The R/A items the configuration does not use are not written.
  if (row < 7 || row > 12 || !radioButtons_[RadioButtonOfRow(row)]->isEnabled()) return {};
  for (const SignalName& s : SignalNames)
    if (s.Row == row) return QString::fromUtf8(s.Caption);
  return {};
}

void OpcPage::MarkNotWritable(int row, const QString& note) {
  QTableWidgetItem* cell = OPCTabela->item(row, 0);
  cell->setData(MarkedItemRole, note.isEmpty() ? QVariant() : QVariant(cell->text()));
  cell->setForeground(note.isEmpty() ? QBrush() : QBrush(QColor(0xC0, 0x00, 0x00)));
  cell->setToolTip(note);
}

void OpcPage::OPCTabelaDblClick(int row, int column) {
  OPCTabelaSelectCell(row, column);
  IzberiAjtemKnofClick();
}

void OpcPage::OPCTabelaSelectCell(int row, int) {
  targetRow_ = row;
  // A row that cannot take an item (rows 1 and 3, the headings, the R/A items the
  // configuration does not use) leaves no signal checked, so that no other row looks
  // like the target of a pick.
  const int n = RadioButtonOfRow(row);
  if (n > 0 && radioButtons_[n]->isEnabled()) {
    radioButtons_[n]->setChecked(true);
    return;
  }
  if (QAbstractButton* checked = signalButtons_->checkedButton()) {
    signalButtons_->setExclusive(false);
    checked->setChecked(false);
    signalButtons_->setExclusive(true);
  }
}

void OpcPage::ApplyRaConfiguration(int index, QRadioButton* single, QRadioButton* manual,
                                   QRadioButton* automatic, QLabel* label, QComboBox* values) {
  const bool oneItem = index == 0;
  single->setEnabled(oneItem);
  manual->setEnabled(!oneItem);
  automatic->setEnabled(!oneItem);
  label->setEnabled(oneItem);
  values->setEnabled(oneItem);
}

void OpcPage::RadioGroup4Click() {
  ApplyRaConfiguration(RadioGroup4->ItemIndex(), RadioButton10, RadioButton11, RadioButton12,
                       Label14, ComboBox3);
}

void OpcPage::RadioGroup5Click() {
  ApplyRaConfiguration(RadioGroup5->ItemIndex(), RadioButton16, RadioButton17, RadioButton18,
                       Label15, ComboBox4);
}
