<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- Where Qt's own Chinese (qtbase_zh_CN) says a thing the way a Chinese desktop does not: "体积"
     for a file's size, "显示 体积" with a blank between the words. Installed after Qt's, so asked
     first. -->
<TS version="2.1" language="zh_CN">
<context>
    <name>QFileSystemModel</name>
    <message>
        <source>Size</source>
        <translation>大小</translation>
    </message>
</context>
<context>
    <name>QFileDialog</name>
    <message>
        <source>Show </source>
        <translation>显示</translation>
    </message>
    <message>
        <source>File &amp;name:</source>
        <translation>文件名(&amp;N)：</translation>
    </message>
    <message>
        <source>Parent Directory</source>
        <translation>向上一级</translation>
    </message>
    <message>
        <source>Go to the parent directory</source>
        <translation>转到上一级文件夹</translation>
    </message>
    <message>
        <source>List View</source>
        <translation>列表</translation>
    </message>
    <message>
        <source>Detail View</source>
        <translation>详细信息</translation>
    </message>
</context>
</TS>
