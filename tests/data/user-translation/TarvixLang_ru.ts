<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>TarvixClass</name>
    <message>
        <source>Exit</source>
        <translation>Выход (перевод пользователя)</translation>
    </message>
</context>
</TS>
