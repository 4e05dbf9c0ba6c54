<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>AboutClass</name>
    <message>
        <source>About...</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;MS Shell Dlg 2&apos;; font-size:10pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Programm for monitoring &lt;a href=&quot;https://www.nagios.org/&quot;&gt;&lt;span style=&quot; font-weight:600; text-decoration: underline; color:#0000ff;&quot;&gt;Nagios&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;MS Shell Dlg 2&apos;; font-size:10pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Программа мониторинга для &lt;a href=&quot;https://www.nagios.org/&quot;&gt;&lt;span style=&quot; font-weight:600; text-decoration: underline; color:#0000ff;&quot;&gt;Nagios&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Tarvix v </source>
        <translation>Tarvix, версия </translation>
    </message>
    <message>
        <source>Author: Kelmora Tarvix team</source>
        <translation>Автор: команда Kelmora Tarvix</translation>
    </message>
    <message>
        <source>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;MS Shell Dlg 2&apos;; font-size:10pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Web page:&lt;span style=&quot; font-weight:600;&quot;&gt; &lt;/span&gt;&lt;a href=&quot;https://github.com/kelmora/tarvix#readme&quot;&gt;&lt;span style=&quot; font-weight:600; text-decoration: underline; color:#0000ff;&quot;&gt;Tarvix on the web&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;MS Shell Dlg 2&apos;; font-size:10pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Сайт:&lt;span style=&quot; font-weight:600;&quot;&gt; &lt;/span&gt;&lt;a href=&quot;https://github.com/kelmora/tarvix#readme&quot;&gt;&lt;span style=&quot; font-weight:600; text-decoration: underline; color:#0000ff;&quot;&gt;Tarvix в интернете&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Release date: </source>
        <translation>Дата выпуска: </translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
</context>
<context>
    <name>AcknowledgeDialog</name>
    <message>
        <source>Acknowledged from Tarvix</source>
        <translation>Подтверждено из Tarvix</translation>
    </message>
    <message numerus="yes">
        <source>%n problems</source>
        <translation>
            <numerusform>%n проблема</numerusform>
            <numerusform>%n проблемы</numerusform>
            <numerusform>%n проблем</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>… and %n more</source>
        <translation>
            <numerusform>… и ещё %n</numerusform>
            <numerusform>… и ещё %n</numerusform>
            <numerusform>… и ещё %n</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>AcknowledgeDialogClass</name>
    <message>
        <source>Tarvix: acknowledge problem</source>
        <translation>Tarvix: подтверждение проблемы</translation>
    </message>
    <message>
        <source>Name:</source>
        <translation>Имя:</translation>
    </message>
    <message>
        <source>Status:</source>
        <translation>Состояние:</translation>
    </message>
    <message>
        <source>Comment:</source>
        <translation>Комментарий:</translation>
    </message>
    <message>
        <source>Sticky Acknowledgement</source>
        <translation>Постоянное подтверждение</translation>
    </message>
    <message>
        <source>Send Notification</source>
        <translation>Отправить уведомление</translation>
    </message>
    <message>
        <source>Persistent Comment</source>
        <translation>Сохранять комментарий</translation>
    </message>
</context>
<context>
    <name>CommandBatch</name>
    <message>
        <source>The server is no longer watched.</source>
        <translation>За этим сервером больше не следят.</translation>
    </message>
</context>
<context>
    <name>DowntimeDialog</name>
    <message>
        <source>Downtime scheduled from Tarvix</source>
        <translation>Плановый простой из Tarvix</translation>
    </message>
</context>
<context>
    <name>DowntimeDialogClass</name>
    <message>
        <source>Tarvix: schedule a downtime</source>
        <translation>Tarvix: запланировать простой</translation>
    </message>
    <message>
        <source>Name:</source>
        <translation>Имя:</translation>
    </message>
    <message>
        <source>Start:</source>
        <translation>Начало:</translation>
    </message>
    <message>
        <source>Now, by the server&apos;s clock</source>
        <translation>Сейчас, по часам сервера</translation>
    </message>
    <message>
        <source>&amp;Duration:</source>
        <translation>&amp;Длительность:</translation>
    </message>
    <message>
        <source>Hours</source>
        <translation>Часы</translation>
    </message>
    <message>
        <source> h</source>
        <translation> ч</translation>
    </message>
    <message>
        <source>Minutes</source>
        <translation>Минуты</translation>
    </message>
    <message>
        <source> min</source>
        <translation> мин</translation>
    </message>
    <message>
        <source>&amp;Comment:</source>
        <translation>&amp;Комментарий:</translation>
    </message>
    <message>
        <source>Fixed: from now for exactly this long</source>
        <translation>Фиксированный: с этой минуты ровно на это время</translation>
    </message>
    <message>
        <source>Otherwise flexible: the downtime starts when a problem does, within this time</source>
        <translation>Иначе гибкий: простой начнётся вместе с проблемой, в пределах этого времени</translation>
    </message>
</context>
<context>
    <name>HttpClient</name>
    <message>
        <source>Request aborted</source>
        <translation>Запрос прерван</translation>
    </message>
    <message>
        <source>Host %1 not found</source>
        <translation>Хост %1 не найден</translation>
    </message>
    <message>
        <source>The server closed the connection before the whole answer arrived.</source>
        <translation>Сервер закрыл соединение, не передав ответ полностью.</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Неизвестная ошибка</translation>
    </message>
    <message>
        <source>The answer is too large: its header exceeds %1 KiB.</source>
        <translation>Ответ сервера слишком велик: его заголовок больше %1 КиБ.</translation>
    </message>
    <message>
        <source>The answer is too large: more than %1 MiB.</source>
        <translation>Ответ сервера слишком велик: больше %1 МиБ.</translation>
    </message>
    <message>
        <source>The server&apos;s answer is not valid HTTP.</source>
        <translation>Ответ сервера не соответствует протоколу HTTP.</translation>
    </message>
    <message>
        <source>Proxy authentication required</source>
        <translation>Требуется аутентификация на прокси-сервере</translation>
    </message>
    <message>
        <source>The server asks for a user name and password.</source>
        <translation>Сервер требует имя пользователя и пароль.</translation>
    </message>
    <message>
        <source>The server refused the user name or password.</source>
        <translation>Сервер отклонил имя пользователя или пароль.</translation>
    </message>
    <message>
        <source>Connection refused</source>
        <translation>В соединении отказано</translation>
    </message>
    <message>
        <source>Connection is timed out: no connection to the server within %1 s.</source>
        <translation>Истекло время ожидания соединения: соединение с сервером не установлено за %1 с.</translation>
    </message>
    <message>
        <source>Connection is timed out: the server sent nothing for %1 s.</source>
        <translation>Истекло время ожидания соединения: сервер ничего не передавал %1 с.</translation>
    </message>
    <message>
        <source>Connection is timed out: the answer did not arrive within %1 s.</source>
        <translation>Истекло время ожидания соединения: ответ не получен полностью за %1 с.</translation>
    </message>
    <message>
        <source>The server&apos;s certificate changed: its public key is not the one trusted.</source>
        <translation>Сертификат сервера сменился: его открытый ключ не тот, которому было дано доверие.</translation>
    </message>
</context>
<context>
    <name>InformationWindow</name>
    <message>
        <source> Hostname:</source>
        <translation> Имя хоста:</translation>
    </message>
    <message>
        <source> Name of service:</source>
        <translation> Имя службы:</translation>
    </message>
    <message>
        <source>Tarvix: change of status</source>
        <translation>Tarvix: изменение состояния</translation>
    </message>
    <message>
        <source>Acknowledge…</source>
        <translation>Подтвердить…</translation>
    </message>
    <message>
        <source>Recheck</source>
        <translation>Перепроверить</translation>
    </message>
    <message>
        <source>Sending the acknowledgement…</source>
        <translation>Отправка подтверждения…</translation>
    </message>
    <message>
        <source>Asking for a recheck…</source>
        <translation>Запрос перепроверки…</translation>
    </message>
    <message>
        <source>Acknowledged</source>
        <translation>Подтверждено</translation>
    </message>
    <message>
        <source>Recheck requested</source>
        <translation>Перепроверка запрошена</translation>
    </message>
</context>
<context>
    <name>InformationWindowClass</name>
    <message>
        <source>InformationWindow</source>
        <translation>Сообщение</translation>
    </message>
    <message>
        <source>Name ...</source>
        <translation>Имя ...</translation>
    </message>
    <message>
        <source>hostName</source>
        <translation>имя хоста</translation>
    </message>
    <message>
        <source> Status:</source>
        <translation> Состояние:</translation>
    </message>
    <message>
        <source> Time:</source>
        <translation> Время:</translation>
    </message>
    <message>
        <source>status</source>
        <translation>состояние</translation>
    </message>
    <message>
        <source>timeEvent</source>
        <translation>время события</translation>
    </message>
    <message>
        <source>Close automatically</source>
        <translation>Закрыть автоматически</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>ОК</translation>
    </message>
</context>
<context>
    <name>NagiosCommand</name>
    <message>
        <source>No server or host to send the command to.</source>
        <translation>Не указан сервер или хост, которому нужно отправить команду.</translation>
    </message>
    <message>
        <source>The server&apos;s answer is too large.</source>
        <translation>Ответ сервера слишком велик.</translation>
    </message>
    <message>
        <source>The server did not answer within %1 s.</source>
        <translation>Сервер не ответил в течение %1 с.</translation>
    </message>
    <message>
        <source>The server refused the user name or password (HTTP status 401).</source>
        <translation>Сервер отклонил имя пользователя или пароль (HTTP-статус 401).</translation>
    </message>
    <message>
        <source>The server answered with HTTP status %1.</source>
        <translation>Сервер ответил HTTP-статусом %1.</translation>
    </message>
    <message>
        <source>The command could not be sent: %1</source>
        <translation>Не удалось отправить команду: %1</translation>
    </message>
    <message>
        <source>The server did not send Nagios&apos; command form.</source>
        <translation>Сервер не прислал форму команды Nagios.</translation>
    </message>
    <message>
        <source>Nagios did not confirm the command.</source>
        <translation>Nagios не подтвердил выполнение команды.</translation>
    </message>
    <message>
        <source>The server&apos;s downtime form has no start time in a known format.</source>
        <translation>В форме простоя на сервере нет времени начала в известном формате.</translation>
    </message>
</context>
<context>
    <name>ProblemsModel</name>
    <message>
        <source>acknowledged</source>
        <translation>подтверждена</translation>
    </message>
    <message>
        <source>in downtime</source>
        <translation>плановый простой</translation>
    </message>
    <message>
        <source>soft state</source>
        <translation>мягкое состояние</translation>
    </message>
    <message>
        <source>flapping</source>
        <translation>нестабильна</translation>
    </message>
    <message>
        <source>notifications off</source>
        <translation>уведомления выключены</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 с</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 мин</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 ч %2 мин</translation>
    </message>
    <message>
        <source>%1 d %2 h</source>
        <translation>%1 д %2 ч</translation>
    </message>
    <message>
        <source>soft</source>
        <translation>мягкое</translation>
    </message>
    <message>
        <source>hard</source>
        <translation>жёсткое</translation>
    </message>
    <message>
        <source>Since %1</source>
        <translation>С %1</translation>
    </message>
    <message>
        <source>Server</source>
        <translation>Сервер</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>Хост</translation>
    </message>
    <message>
        <source>Service</source>
        <translation>Служба</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Состояние</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Длительность</translation>
    </message>
    <message>
        <source>Attempt</source>
        <translation>Попытка</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>Вывод</translation>
    </message>
    <message>
        <source>Flags</source>
        <translation>Отметки</translation>
    </message>
</context>
<context>
    <name>ProblemsWindow</name>
    <message>
        <source>Opened the first %1 of %2 pages.</source>
        <translation>Открыты первые %1 из %2 страниц.</translation>
    </message>
    <message>
        <source>Rows copied: %1.</source>
        <translation>Скопировано строк: %1.</translation>
    </message>
    <message>
        <source>Tarvix: problems (%1)</source>
        <translation>Tarvix: проблемы (%1)</translation>
    </message>
    <message>
        <source>Tarvix: problems (%1 of %2)</source>
        <translation>Tarvix: проблемы (%1 из %2)</translation>
    </message>
</context>
<context>
    <name>ProblemsWindowClass</name>
    <message>
        <source>&amp;Filter:</source>
        <translation>&amp;Фильтр:</translation>
    </message>
    <message>
        <source>Filter the problems</source>
        <translation>Фильтр проблем</translation>
    </message>
    <message>
        <source>Host, service or output (Ctrl+F)</source>
        <translation>Хост, служба или вывод (Ctrl+F)</translation>
    </message>
    <message>
        <source>Problems</source>
        <translation>Проблемы</translation>
    </message>
    <message>
        <source>Every current problem of every server, one a row</source>
        <translation>Все текущие проблемы всех серверов, по одной в строке</translation>
    </message>
    <message>
        <source>&amp;Open in the browser</source>
        <translation>&amp;Открыть в браузере</translation>
    </message>
    <message>
        <source>&amp;Acknowledge…</source>
        <translation>&amp;Подтвердить…</translation>
    </message>
    <message>
        <source>&amp;Recheck</source>
        <translation>П&amp;ерепроверить</translation>
    </message>
    <message>
        <source>Schedule &amp;downtime…</source>
        <translation>Запланировать п&amp;ростой…</translation>
    </message>
    <message>
        <source>&amp;Copy as text</source>
        <translation>&amp;Копировать как текст</translation>
    </message>
    <message>
        <source>&amp;Find</source>
        <translation>&amp;Найти</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Systray</source>
        <translation>Системный трей</translation>
    </message>
    <message>
        <source>I couldn&apos;t detect any system tray on this system.</source>
        <translation>Не удалось обнаружить системный трей в этой системе.</translation>
    </message>
</context>
<context>
    <name>Tarvix</name>
    <message>
        <source>Wrong configuration. The program needs to be reconfigured.</source>
        <translation>Неверная конфигурация. Программу нужно перенастроить.</translation>
    </message>
    <message>
        <source>Tarvix: configuration error.</source>
        <translation>Tarvix: ошибка конфигурации.</translation>
    </message>
    <message>
        <source>The program is not configured correctly. Please enter the correct settings.</source>
        <translation>Программа настроена неправильно. Укажите правильные настройки.</translation>
    </message>
    <message>
        <source>
Expected to obtain information...</source>
        <translation>
Ожидание данных от сервера...</translation>
    </message>
    <message>
        <source>
Hosts down count: </source>
        <translation>
Недоступных хостов: </translation>
    </message>
    <message>
        <source>
Monitoring hosts disabled</source>
        <translation>
Мониторинг хостов отключён</translation>
    </message>
    <message>
        <source>
Problem services: </source>
        <translation>
Проблемных служб: </translation>
    </message>
    <message>
        <source>
Monitoring service is disabled</source>
        <translation>
Мониторинг служб отключён</translation>
    </message>
    <message>
        <source>
Data obtained: </source>
        <translation>
Данные получены: </translation>
    </message>
    <message>
        <source>Configuration is updated.
</source>
        <translation>Конфигурация обновлена.
</translation>
    </message>
    <message>
        <source>Waiting for obtaining new information from server.</source>
        <translation>Ожидание новых данных от сервера.</translation>
    </message>
    <message>
        <source>Tarvix: configuration error</source>
        <translation>Tarvix: ошибка конфигурации</translation>
    </message>
    <message>
        <source>Tarvix: warning</source>
        <translation>Tarvix: предупреждение</translation>
    </message>
    <message>
        <source>No server address of Nagios found.</source>
        <translation>Не указан адрес сервера Nagios.</translation>
    </message>
    <message>
        <source>Server port is not specified and will be installed in the default.</source>
        <translation>Порт сервера не указан, будет установлен порт по умолчанию.</translation>
    </message>
    <message>
        <source>Invalid server port number Nagios.</source>
        <translation>Неверный номер порта сервера Nagios.</translation>
    </message>
    <message>
        <source>No request for the status of hosts.</source>
        <translation>Не указан запрос состояния хостов.</translation>
    </message>
    <message>
        <source>No request for the status of services.</source>
        <translation>Не указан запрос состояния служб.</translation>
    </message>
    <message>
        <source>Not specified HTTP username.</source>
        <translation>Не указано имя пользователя HTTP.</translation>
    </message>
    <message>
        <source>Not specified HTTP password.</source>
        <translation>Не указан пароль HTTP.</translation>
    </message>
    <message>
        <source>Not a valid regular expression to analyze the status of hosts.</source>
        <translation>Неверное регулярное выражение для разбора состояния хостов.</translation>
    </message>
    <message>
        <source>Not a valid regular expression to analyze the status of services.</source>
        <translation>Неверное регулярное выражение для разбора состояния служб.</translation>
    </message>
    <message>
        <source>Not specified no status for the host!</source>
        <translation>Не выбрано ни одного состояния хоста!</translation>
    </message>
    <message>
        <source>Not specified no status for the service!</source>
        <translation>Не выбрано ни одного состояния службы!</translation>
    </message>
    <message>
        <source>You can obtain the necessary libraries for work using HTTPS can </source>
        <translation>Библиотеки, необходимые для работы по HTTPS, можно получить </translation>
    </message>
    <message>
        <source>&lt;a href=&apos;https://wiki.openssl.org/index.php/Binaries&apos;&gt;here&lt;/a&gt;.</source>
        <translation>&lt;a href=&apos;https://wiki.openssl.org/index.php/Binaries&apos;&gt;здесь&lt;/a&gt;. </translation>
    </message>
    <message>
        <source>The work using HTTPS is impossible now.&lt;/font&gt;</source>
        <translation>Сейчас работа по HTTPS невозможна.&lt;/font&gt;</translation>
    </message>
    <message>
        <source>Set the server port to a default value for HTTPS protocol (</source>
        <translation>Установить порт сервера по умолчанию для протокола HTTPS (</translation>
    </message>
    <message>
        <source>Set the server port to the default value for the HTTP protocol (</source>
        <translation>Установить порт сервера по умолчанию для протокола HTTP (</translation>
    </message>
    <message>
        <source>HTTP error ocurred:
</source>
        <translation>Ошибка HTTP:
</translation>
    </message>
    <message>
        <source>Connection is timed out.
</source>
        <translation>Истекло время ожидания соединения.
</translation>
    </message>
    <message>
        <source>Monitoring is impossible.</source>
        <translation>Мониторинг невозможен.</translation>
    </message>
    <message>
        <source>Tarvix: HTTP error</source>
        <translation>Tarvix: ошибка HTTP</translation>
    </message>
    <message>
        <source>Timeout while connecting to server</source>
        <translation>Истекло время ожидания подключения к серверу</translation>
    </message>
    <message>
        <source>for obtaining monitoring information.</source>
        <translation>для получения данных мониторинга.</translation>
    </message>
    <message>
        <source>Tarvix: HTTP error status of hosts request</source>
        <translation>Tarvix: ошибка HTTP при запросе состояния хостов</translation>
    </message>
    <message>
        <source>Tarvix: HTTP error status of services request</source>
        <translation>Tarvix: ошибка HTTP при запросе состояния служб</translation>
    </message>
    <message>
        <source>During the execution of the query an error occurred:
</source>
        <translation>При выполнении запроса произошла ошибка:
</translation>
    </message>
    <message>
        <source>Terminate application?</source>
        <translation>Завершить программу?</translation>
    </message>
    <message>
        <source>Invalid password or username.
</source>
        <translation>Неверный пароль или имя пользователя.
</translation>
    </message>
    <message>
        <source>Invalid password or username. Terminate application? Clicking &quot;No&quot; will open the program settings.</source>
        <translation>Неверный пароль или имя пользователя. Завершить программу? Кнопка «Нет» откроет настройки программы.</translation>
    </message>
    <message>
        <source>Unidentified error.
</source>
        <translation>Неизвестная ошибка.
</translation>
    </message>
    <message>
        <source>During query unidentified error occurred.
</source>
        <translation>При выполнении запроса произошла неизвестная ошибка.
</translation>
    </message>
    <message>
        <source>Tarvix</source>
        <translation>Tarvix</translation>
    </message>
    <message>
        <source>Connection with the server is established.</source>
        <translation>Соединение с сервером установлено.</translation>
    </message>
    <message>
        <source>HTTP error ocurred:
Server &apos;</source>
        <translation>Ошибка HTTP:
сервер «</translation>
    </message>
    <message>
        <source>&apos; return error </source>
        <translation>» вернул ошибку </translation>
    </message>
    <message>
        <source>Error query status: Server &apos;</source>
        <translation>Ошибка запроса состояния: сервер «</translation>
    </message>
    <message>
        <source>Terminate application? (Cancel button will open the program settings.)</source>
        <translation>Завершить программу? (Кнопка «Отмена» откроет настройки программы.)</translation>
    </message>
    <message>
        <source>SSL error ocurred. </source>
        <translation>Ошибка SSL. </translation>
    </message>
    <message>
        <source>Tarvix: SSL error</source>
        <translation>Tarvix: ошибка SSL</translation>
    </message>
    <message>
        <source>Server certificate </source>
        <translation>Сертификат сервера </translation>
    </message>
    <message>
        <source> contains the following errors:
</source>
        <translation> содержит следующие ошибки:
</translation>
    </message>
    <message>
        <source>
&quot;Yes&quot; - terminate the execution of the program
&quot;No&quot; - open settings. On the  tab &quot;Misc&quot;, you can allowSSL certificates which contain errors.</source>
        <translation>
«Да» — завершить работу программы
«Нет» — открыть настройки. На вкладке «Разное» можно разрешить SSL-сертификаты с ошибками.</translation>
    </message>
    <message>
        <source>The server&apos;s answer is not a status page.
</source>
        <translation>Ответ сервера не является страницей состояния.
</translation>
    </message>
    <message>
        <source>Name: </source>
        <translation>Имя: </translation>
    </message>
    <message>
        <source>Status: </source>
        <translation>Состояние: </translation>
    </message>
    <message>
        <source>Change status of </source>
        <translation>Изменение состояния </translation>
    </message>
    <message>
        <source>host</source>
        <translation>хоста</translation>
    </message>
    <message>
        <source>service</source>
        <translation>службы</translation>
    </message>
    <message>
        <source>The settings file %1 could not be made readable by you alone; it holds the HTTP password.</source>
        <translation>Файл настроек %1 не удалось сделать доступным только вам; в нём хранится пароль HTTP.</translation>
    </message>
    <message>
        <source>Tarvix: settings</source>
        <translation>Tarvix: настройки</translation>
    </message>
    <message numerus="yes">
        <source>… and %n more problems</source>
        <translation>
            <numerusform>… и ещё %n проблема</numerusform>
            <numerusform>… и ещё %n проблемы</numerusform>
            <numerusform>… и ещё %n проблем</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>… and %n more recoveries</source>
        <translation>
            <numerusform>… и ещё %n восстановление</numerusform>
            <numerusform>… и ещё %n восстановления</numerusform>
            <numerusform>… и ещё %n восстановлений</numerusform>
        </translation>
    </message>
    <message>
        <source>Tarvix: acknowledgement not sent</source>
        <translation>Tarvix: подтверждение не отправлено</translation>
    </message>
    <message>
        <source>Tarvix: recheck not requested</source>
        <translation>Tarvix: перепроверка не запрошена</translation>
    </message>
    <message>
        <source>The list of down hosts is stale since %1</source>
        <translation>Список недоступных хостов устарел с %1</translation>
    </message>
    <message>
        <source>The list of problem services is stale since %1</source>
        <translation>Список проблемных служб устарел с %1</translation>
    </message>
    <message>
        <source>The list of down hosts is up to date again.</source>
        <translation>Список недоступных хостов снова актуален.</translation>
    </message>
    <message>
        <source>The list of problem services is up to date again.</source>
        <translation>Список проблемных служб снова актуален.</translation>
    </message>
    <message>
        <source>The server&apos;s status page arrived incomplete.
</source>
        <translation>Страница состояния пришла от сервера не полностью.
</translation>
    </message>
    <message>
        <source>The server listed only %1 of %2 entries: add &quot;&amp;limit=0&quot; to the query on &quot;General&quot;.
</source>
        <translation>Сервер показал только часть списка (%1 из %2): добавьте «&amp;limit=0» к запросу на вкладке «Общие».
</translation>
    </message>
    <message>
        <source>The regular expression failed on the server&apos;s page: it is too complex or too slow.
</source>
        <translation>Регулярное выражение не справилось со страницей сервера: оно слишком сложное или слишком медленное.
</translation>
    </message>
    <message>
        <source>Choose the CA file</source>
        <translation>Выбор файла центра сертификации</translation>
    </message>
    <message>
        <source>Choose the client certificate</source>
        <translation>Выбор клиентского сертификата</translation>
    </message>
    <message>
        <source>Choose the client key</source>
        <translation>Выбор клиентского ключа</translation>
    </message>
    <message>
        <source>PEM files (*.pem *.crt *.cer *.key);;All files (*)</source>
        <translation>Файлы PEM (*.pem *.crt *.cer *.key);;Все файлы (*)</translation>
    </message>
    <message>
        <source>No proxy address.</source>
        <translation>Не указан адрес прокси-сервера.</translation>
    </message>
    <message>
        <source>The CA file cannot be read.</source>
        <translation>Не удаётся прочитать файл центра сертификации.</translation>
    </message>
    <message>
        <source>The client certificate cannot be read.</source>
        <translation>Не удаётся прочитать клиентский сертификат.</translation>
    </message>
    <message>
        <source>A client key needs its client certificate.</source>
        <translation>Для клиентского ключа нужен клиентский сертификат.</translation>
    </message>
    <message>
        <source>The client key cannot be read.</source>
        <translation>Не удаётся прочитать клиентский ключ.</translation>
    </message>
    <message>
        <source>The trusted key is not of the form sha256// followed by its digest.</source>
        <translation>Доверенный ключ должен иметь вид sha256// и далее его хеш.</translation>
    </message>
    <message>
        <source>(since %1)</source>
        <translation>(с %1)</translation>
    </message>
    <message>
        <source>hosts down: %1</source>
        <translation>недоступных хостов: %1</translation>
    </message>
    <message>
        <source>problem services: %1</source>
        <translation>проблемных служб: %1</translation>
    </message>
    <message>
        <source>monitoring disabled</source>
        <translation>мониторинг отключён</translation>
    </message>
    <message>
        <source>data of %1</source>
        <translation>данные на %1</translation>
    </message>
    <message>
        <source>no data yet</source>
        <translation>данных ещё нет</translation>
    </message>
    <message>
        <source>Server %1:</source>
        <translation>Сервер %1:</translation>
    </message>
    <message>
        <source>Trust this certificate</source>
        <translation>Доверять этому сертификату</translation>
    </message>
    <message>
        <source>&lt; not reachable &gt;</source>
        <translation>&lt; недоступен &gt;</translation>
    </message>
    <message>
        <source>The server&apos;s certificate has changed since you chose to trust it.
</source>
        <translation>Сертификат сервера изменился с тех пор, как вы решили ему доверять.
</translation>
    </message>
    <message>
        <source>SHA-256 fingerprint: %1
</source>
        <translation>Отпечаток SHA-256: %1
</translation>
    </message>
    <message>
        <source>
&quot;Trust this certificate&quot; - trust this server&apos;s certificate from now on and go on.</source>
        <translation>
«Доверять этому сертификату» — доверять сертификату этого сервера и продолжить работу.</translation>
    </message>
    <message>
        <source>%1 (copy)</source>
        <translation>%1 (копия)</translation>
    </message>
    <message>
        <source>New server</source>
        <translation>Новый сервер</translation>
    </message>
    <message>
        <source>The server&apos;s JSON status cannot be read.
</source>
        <translation>Не удаётся прочитать JSON-состояние сервера.
</translation>
    </message>
    <message>
        <source>Nagios shows the user &quot;%1&quot; no hosts or services: check authorized_for_all_hosts and authorized_for_all_services in its cgi.cfg.
</source>
        <translation>Nagios не показывает пользователю «%1» ни хостов, ни служб: проверьте authorized_for_all_hosts и authorized_for_all_services в его cgi.cfg.
</translation>
    </message>
    <message>
        <source>Nagios refused the request: %1
</source>
        <translation>Nagios отклонил запрос: %1
</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 мин</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 ч %2 мин</translation>
    </message>
    <message>
        <source>%1 d %2 h</source>
        <translation>%1 д %2 ч</translation>
    </message>
    <message>
        <source>since %1, %2</source>
        <translation>с %1, %2</translation>
    </message>
    <message>
        <source>Commands being sent: %1…</source>
        <translation>Отправляется команд: %1…</translation>
    </message>
    <message>
        <source>Acknowledged: %1.</source>
        <translation>Подтверждено: %1.</translation>
    </message>
    <message>
        <source>Recheck requested: %1.</source>
        <translation>Запрошена перепроверка: %1.</translation>
    </message>
    <message>
        <source>Downtime scheduled: %1.</source>
        <translation>Запланирован простой: %1.</translation>
    </message>
    <message>
        <source>%1 of %2 failed: %3</source>
        <translation>Не удалось: %1 из %2: %3</translation>
    </message>
    <message>
        <source>Tarvix: downtime not scheduled</source>
        <translation>Tarvix: простой не запланирован</translation>
    </message>
</context>
<context>
    <name>TarvixClass</name>
    <message>
        <source>Tarvix</source>
        <translation>Tarvix</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Общие</translation>
    </message>
    <message>
        <source>Server address:</source>
        <translation>Адрес сервера:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Порт:</translation>
    </message>
    <message>
        <source>Request period:</source>
        <translation>Период опроса:</translation>
    </message>
    <message>
        <source>seconds</source>
        <translation>сек.</translation>
    </message>
    <message>
        <source>Connect using a secure connection (HTTPS)</source>
        <translation>Использовать защищённое соединение (HTTPS)</translation>
    </message>
    <message>
        <source>Automatically close the message in:</source>
        <translation>Закрывать сообщения автоматически через:</translation>
    </message>
    <message>
        <source>minutes</source>
        <translation>мин.</translation>
    </message>
    <message>
        <source>Use the following executable directory:</source>
        <translation>Использовать следующий каталог CGI:</translation>
    </message>
    <message>
        <source>Use the following query for host:</source>
        <translation>Использовать следующий запрос для хостов:</translation>
    </message>
    <message>
        <source>Use the following query for services:</source>
        <translation>Использовать следующий запрос для служб:</translation>
    </message>
    <message>
        <source>Use HTTP authentication</source>
        <translation>Использовать HTTP-аутентификацию</translation>
    </message>
    <message>
        <source>Username:</source>
        <translation>Имя пользователя:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Пароль:</translation>
    </message>
    <message>
        <source>Host Filtering</source>
        <translation>Хосты</translation>
    </message>
    <message>
        <source>Notify about changes in status of</source>
        <translation>Сообщать об изменении состояния</translation>
    </message>
    <message>
        <source>all hosts except specified</source>
        <translation>всех хостов, кроме указанных</translation>
    </message>
    <message>
        <source>only specified hosts</source>
        <translation>только указанных хостов</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Добавить</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Удалить</translation>
    </message>
    <message>
        <source>Del</source>
        <translation>Del</translation>
    </message>
    <message>
        <source>Filtering Service</source>
        <translation>Службы</translation>
    </message>
    <message>
        <source>all services except specified</source>
        <translation>всех служб, кроме указанных</translation>
    </message>
    <message>
        <source>only specified services</source>
        <translation>только указанных служб</translation>
    </message>
    <message>
        <source>Statuses</source>
        <translation>Состояния</translation>
    </message>
    <message>
        <source> Basic Configuration - specify the statuses that need to be notified of</source>
        <translation> Базовая настройка — о каких состояниях сообщать</translation>
    </message>
    <message>
        <source>Host Status:</source>
        <translation>Состояния хоста:</translation>
    </message>
    <message>
        <source>HOSTDOWN</source>
        <translation>HOSTDOWN</translation>
    </message>
    <message>
        <source>HOSTUNREACHABLE</source>
        <translation>HOSTUNREACHABLE</translation>
    </message>
    <message>
        <source>Service Status:</source>
        <translation>Состояния службы:</translation>
    </message>
    <message>
        <source>CRITICAL</source>
        <translation>CRITICAL</translation>
    </message>
    <message>
        <source>WARNING</source>
        <translation>WARNING</translation>
    </message>
    <message>
        <source>UNKNOWN</source>
        <translation>UNKNOWN</translation>
    </message>
    <message>
        <source>Advanced Configuration</source>
        <translation>Расширенная настройка</translation>
    </message>
    <message>
        <source>Set up a regular expression to analyze the status of hosts:</source>
        <translation>Регулярное выражение для разбора состояния хостов:</translation>
    </message>
    <message>
        <source>Numbers of coincidences of the regular expression:</source>
        <translation>Номера групп регулярного выражения:</translation>
    </message>
    <message>
        <source>Status:</source>
        <translation>Статус:</translation>
    </message>
    <message>
        <source>Link:</source>
        <translation>Ссылка:</translation>
    </message>
    <message>
        <source>Name:</source>
        <translation>Имя:</translation>
    </message>
    <message>
        <source>Set up a regular expression to analyze the status of services:</source>
        <translation>Регулярное выражение для разбора состояния служб:</translation>
    </message>
    <message>
        <source>Misc</source>
        <translation>Разное</translation>
    </message>
    <message>
        <source>Различные конфигурационные параметры</source>
        <translation>Прочие параметры конфигурации</translation>
    </message>
    <message>
        <source>Monitoring of hosts</source>
        <translation>Мониторинг хостов</translation>
    </message>
    <message>
        <source>Show message about changing the status of hosts</source>
        <translation>Сообщать об изменении состояния хостов</translation>
    </message>
    <message>
        <source>Monitoring of services</source>
        <translation>Мониторинг служб</translation>
    </message>
    <message>
        <source>Show messages about changing the status of services</source>
        <translation>Сообщать об изменении состояния служб</translation>
    </message>
    <message>
        <source>Popup messages always on top</source>
        <translation>Всплывающие сообщения поверх всех окон</translation>
    </message>
    <message>
        <source>Use tray instead of the message popups</source>
        <translation>Сообщения в трее вместо всплывающих окон</translation>
    </message>
    <message>
        <source>Open page object when you click on the message tray</source>
        <translation>Щелчок по сообщению в трее открывает страницу объекта</translation>
    </message>
    <message>
        <source>Icon in system tray flashes on status change</source>
        <translation>Мигать значком в трее при изменении состояния</translation>
    </message>
    <message>
        <source>Disable sounds</source>
        <translation>Отключить звуки</translation>
    </message>
    <message>
        <source>Disable localization</source>
        <translation>Отключить локализацию</translation>
    </message>
    <message>
        <source> Clicking on the icon in the tray </source>
        <translation> Щелчок по значку в трее </translation>
    </message>
    <message>
        <source>Left button - menu for the hosts and services</source>
        <translation>Левая кнопка — меню хостов и служб</translation>
    </message>
    <message>
        <source>Left button - the list of hosts, the middle (wheel) - the list of services</source>
        <translation>Левая кнопка — хосты, средняя (колесо) — службы</translation>
    </message>
    <message>
        <source>Left button - the list of services, the middle (wheel) - the list of hosts</source>
        <translation>Левая кнопка — службы, средняя (колесо) — хосты</translation>
    </message>
    <message>
        <source> SSL (HTTPS) </source>
        <translation> SSL (HTTPS) </translation>
    </message>
    <message>
        <source>Reject SSL certificates with errors</source>
        <translation>Отклонять SSL-сертификаты с ошибками</translation>
    </message>
    <message>
        <source>Accept certificates with errors</source>
        <translation>Принимать сертификаты с ошибками</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Сохранить</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Выход</translation>
    </message>
    <message>
        <source>Configuration</source>
        <translation>Настройки</translation>
    </message>
    <message>
        <source>About</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>List of down hosts</source>
        <translation>Список недоступных хостов</translation>
    </message>
    <message>
        <source>List of problem services</source>
        <translation>Список проблемных служб</translation>
    </message>
    <message>
        <source>         &lt; empty &gt;</source>
        <translation>         &lt; пусто &gt;</translation>
    </message>
    <message>
        <source>&lt; empty &gt;</source>
        <translation>&lt; пусто &gt;</translation>
    </message>
    <message>
        <source>Close all messages</source>
        <translation>Закрыть все сообщения</translation>
    </message>
    <message>
        <source>&lt; monitoring disabled &gt;</source>
        <translation>&lt; мониторинг отключён &gt;</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Соединение</translation>
    </message>
    <message>
        <source>Proxy</source>
        <translation>Прокси-сервер</translation>
    </message>
    <message>
        <source>Use the system proxy settings</source>
        <translation>Использовать системные настройки прокси</translation>
    </message>
    <message>
        <source>No proxy</source>
        <translation>Без прокси</translation>
    </message>
    <message>
        <source>Proxy:</source>
        <translation>Прокси:</translation>
    </message>
    <message>
        <source>proxy.example.org:3128</source>
        <translation>proxy.example.org:3128</translation>
    </message>
    <message>
        <source>User name:</source>
        <translation>Пользователь:</translation>
    </message>
    <message>
        <source>HTTP authentication method:</source>
        <translation>Способ HTTP-аутентификации:</translation>
    </message>
    <message>
        <source>Basic</source>
        <translation>Basic</translation>
    </message>
    <message>
        <source>Digest</source>
        <translation>Digest</translation>
    </message>
    <message>
        <source>Kerberos single sign-on</source>
        <translation>Единый вход Kerberos</translation>
    </message>
    <message>
        <source>NTLM</source>
        <translation>NTLM</translation>
    </message>
    <message>
        <source>Certificates (HTTPS)</source>
        <translation>Сертификаты (HTTPS)</translation>
    </message>
    <message>
        <source>CA file:</source>
        <translation>Файл ЦС:</translation>
    </message>
    <message>
        <source>the system&apos;s certificate authorities</source>
        <translation>центры сертификации системы</translation>
    </message>
    <message>
        <source>…</source>
        <translation>…</translation>
    </message>
    <message>
        <source>Choose the CA file</source>
        <translation>Выбор файла центра сертификации</translation>
    </message>
    <message>
        <source>Client certificate:</source>
        <translation>Сертификат клиента:</translation>
    </message>
    <message>
        <source>none</source>
        <translation>нет</translation>
    </message>
    <message>
        <source>Choose the client certificate (PEM)</source>
        <translation>Выбрать сертификат клиента (PEM)</translation>
    </message>
    <message>
        <source>Client key:</source>
        <translation>Ключ клиента:</translation>
    </message>
    <message>
        <source>in the certificate file</source>
        <translation>в файле сертификата</translation>
    </message>
    <message>
        <source>Choose the client key (PEM)</source>
        <translation>Выбрать ключ клиента (PEM)</translation>
    </message>
    <message>
        <source>Trusted key:</source>
        <translation>Доверенный ключ:</translation>
    </message>
    <message>
        <source>The public key of a certificate you chose to trust, as sha256//…</source>
        <translation>Открытый ключ сертификата, которому вы решили доверять, в виде sha256//…</translation>
    </message>
    <message>
        <source>Forget</source>
        <translation>Забыть</translation>
    </message>
    <message>
        <source>No longer trust this key</source>
        <translation>Больше не доверять этому ключу</translation>
    </message>
    <message>
        <source>Servers</source>
        <translation>Серверы</translation>
    </message>
    <message>
        <source>The servers Tarvix watches; the box switches a server on or off, F2 renames it</source>
        <translation>Серверы, за которыми следит Tarvix; флажок включает или выключает сервер, F2 переименовывает его</translation>
    </message>
    <message>
        <source>&amp;Add</source>
        <translation>&amp;Добавить</translation>
    </message>
    <message>
        <source>D&amp;uplicate</source>
        <translation>&amp;Копировать</translation>
    </message>
    <message>
        <source>Re&amp;name</source>
        <translation>&amp;Переименовать</translation>
    </message>
    <message>
        <source>Remo&amp;ve</source>
        <translation>&amp;Удалить</translation>
    </message>
    <message>
        <source>Move u&amp;p</source>
        <translation>&amp;Выше</translation>
    </message>
    <message>
        <source>Move do&amp;wn</source>
        <translation>&amp;Ниже</translation>
    </message>
    <message>
        <source>Status source:</source>
        <translation>Источник состояния:</translation>
    </message>
    <message>
        <source>Nagios 4.0.7 and later serve their status as JSON, with the plugin output, since when and every flag</source>
        <translation>Nagios 4.0.7 и новее отдаёт состояние в JSON — с выводом проверки, временем начала и всеми признаками</translation>
    </message>
    <message>
        <source>Nagios status pages (status.cgi)</source>
        <translation>Страницы состояния Nagios (status.cgi)</translation>
    </message>
    <message>
        <source>Nagios JSON status (statusjson.cgi)</source>
        <translation>JSON-состояние Nagios (statusjson.cgi)</translation>
    </message>
    <message>
        <source>Hide problems (JSON status only)</source>
        <translation>Скрывать проблемы (только JSON-состояние)</translation>
    </message>
    <message>
        <source>acknowledged</source>
        <translation>подтверждённые</translation>
    </message>
    <message>
        <source>in scheduled downtime</source>
        <translation>в плановом простое</translation>
    </message>
    <message>
        <source>in a soft state</source>
        <translation>в мягком состоянии</translation>
    </message>
    <message>
        <source>flapping</source>
        <translation>флаппинг</translation>
    </message>
    <message>
        <source>with notifications off</source>
        <translation>с отключёнными уведомлениями</translation>
    </message>
    <message>
        <source>Left button - the problems window</source>
        <translation>Левая кнопка — окно проблем</translation>
    </message>
    <message>
        <source>Problems…</source>
        <translation>Проблемы…</translation>
    </message>
    <message>
        <source>Every current problem of every server in one table</source>
        <translation>Все текущие проблемы всех серверов в одной таблице</translation>
    </message>
</context>
</TS>
