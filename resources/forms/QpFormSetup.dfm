object QPSetupForm: TQPSetupForm
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = 'Output Options'
  ClientHeight = 242
  ClientWidth = 295
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'Arial'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  OnKeyPress = NumberKeyPress
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 14
  object PrinterGB: TGroupBox
    Left = 8
    Top = 4
    Width = 279
    Height = 41
    Caption = 'Selected Printer'
    TabOrder = 0
    object PrinterLabel: TLabel
      Left = 8
      Top = 18
      Width = 263
      Height = 14
      AutoSize = False
      Caption = '(none)'
    end
  end
  object PageControl1: TPageControl
    Left = 8
    Top = 48
    Width = 279
    Height = 113
    TabOrder = 1
    object TabSheet1: TTabSheet
      Caption = 'TabSheet1'
      TabVisible = False
      object DestGB: TGroupBox
        Left = 0
        Top = 0
        Width = 271
        Height = 105
        Caption = 'Report Destination'
        TabOrder = 0
        object FormatLabel: TLabel
          Left = 8
          Top = 81
          Width = 39
          Height = 14
          Caption = 'Format:'
        end
        object FileNameSB: TSpeedButton
          Left = 240
          Top = 53
          Width = 23
          Height = 22
          Caption = '...'
          OnClick = FileNameSBClick
        end
        object PrinterRB: TRadioButton
          Left = 8
          Top = 16
          Width = 113
          Height = 17
          Caption = '&Printer'
          TabOrder = 0
          OnClick = DestinationClick
        end
        object PreviewRB: TRadioButton
          Left = 8
          Top = 35
          Width = 113
          Height = 17
          Caption = 'Pre&view'
          TabOrder = 1
          OnClick = DestinationClick
        end
        object FileRB: TRadioButton
          Left = 8
          Top = 55
          Width = 41
          Height = 17
          Caption = '&File'
          TabOrder = 2
          OnClick = DestinationClick
        end
        object editFileName: TEdit
          Left = 52
          Top = 53
          Width = 185
          Height = 22
          TabOrder = 3
          OnChange = editFileNameChange
        end
        object cboxFormat: TComboBox
          Left = 52
          Top = 77
          Width = 211
          Height = 22
          Style = csDropDownList
          TabOrder = 4
          OnChange = cboxFormatChange
        end
      end
    end
    object TabSheet2: TTabSheet
      Caption = 'TabSheet2'
      ImageIndex = 1
      TabVisible = False
      object RangeGB: TGroupBox
        Left = 0
        Top = 0
        Width = 271
        Height = 105
        Caption = 'Print Range'
        TabOrder = 0
        object FromLabel: TLabel
          Left = 80
          Top = 58
          Width = 24
          Height = 14
          Caption = 'From'
        end
        object ToLabel: TLabel
          Left = 156
          Top = 58
          Width = 10
          Height = 14
          Caption = 'to'
        end
        object SelectionLabel: TLabel
          Left = 80
          Top = 38
          Width = 45
          Height = 14
          Caption = 'Selection'
        end
        object AllRB: TRadioButton
          Left = 8
          Top = 16
          Width = 65
          Height = 17
          Caption = 'All'
          Checked = True
          TabOrder = 0
          TabStop = True
          OnClick = RangeClick
        end
        object SelectionRB: TRadioButton
          Left = 8
          Top = 36
          Width = 65
          Height = 17
          Caption = 'Selection'
          TabOrder = 1
          OnClick = RangeClick
        end
        object PagesRB: TRadioButton
          Left = 8
          Top = 56
          Width = 65
          Height = 17
          Caption = 'Pages'
          TabOrder = 2
          OnClick = RangeClick
        end
        object FromED: TEdit
          Left = 108
          Top = 54
          Width = 41
          Height = 22
          TabOrder = 3
          OnKeyPress = NumberKeyPress
        end
        object ToED: TEdit
          Left = 172
          Top = 54
          Width = 41
          Height = 22
          TabOrder = 4
          OnKeyPress = NumberKeyPress
        end
        object SelectionED: TEdit
          Left = 130
          Top = 34
          Width = 133
          Height = 22
          TabOrder = 5
          OnKeyPress = SelectionEDKeyPress
        end
      end
    end
  end
  object OptionsGB: TGroupBox
    Left = 8
    Top = 164
    Width = 279
    Height = 41
    Caption = 'Options'
    TabOrder = 2
    object CopiesLabel: TLabel
      Left = 8
      Top = 18
      Width = 35
      Height = 14
      Caption = '&Copies'
      FocusControl = CopiesED
    end
    object CopiesED: TEdit
      Left = 48
      Top = 14
      Width = 41
      Height = 22
      TabOrder = 0
      OnKeyPress = NumberKeyPress
    end
    object CollateCK: TCheckBox
      Left = 108
      Top = 16
      Width = 73
      Height = 17
      Caption = 'C&ollate'
      TabOrder = 1
    end
    object DuplexCK: TCheckBox
      Left = 192
      Top = 16
      Width = 73
      Height = 17
      Caption = '&Duplex'
      TabOrder = 2
    end
  end
  object bbtnOK: TBitBtn
    Left = 40
    Top = 211
    Width = 75
    Height = 25
    Caption = '   OK   '
    Default = True
    ModalResult = 1
    TabOrder = 3
    OnClick = bbtnOKClick
  end
  object CancelBB: TBitBtn
    Left = 122
    Top = 211
    Width = 75
    Height = 25
    Cancel = True
    Caption = 'Cancel'
    ModalResult = 2
    TabOrder = 4
  end
  object SetupBB: TBitBtn
    Left = 204
    Top = 211
    Width = 75
    Height = 25
    Caption = '&Setup'
    TabOrder = 5
    OnClick = SetupBBClick
  end
  object dlogSave: TSaveDialog
    DefaultExt = 'zsf'
    Options = [ofOverwritePrompt, ofPathMustExist, ofNoReadOnlyReturn]
  end
end
